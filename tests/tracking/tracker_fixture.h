#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "support/fakes.h"
#include "support/temp_folder.h"
#include "tracking/reception_tracker.h"

namespace taperly {

// Readable take states in failure messages.
inline void PrintTo(const TakeState& s, std::ostream* out) {
    *out << "{" << s.scan_system1 << "|" << s.scan_system2 << "|" << s.scan_group1 << "|"
         << s.scan_group2 << " got " << s.gotSystem1 << s.GotSystem2 << s.GotGroup1 << s.GotGroup2
         << " gid " << s.gid_system_name << "|" << s.gid_group_name << "|" << s.gid_tg_name << "|"
         << s.gid_tg_id << " Label7 " << s.Label7 << " Label1 " << s.Label1 << "}";
}

}  // namespace taperly

namespace taperly::testing {

// A tracker over fakes, saving into a fresh folder.
class TrackerTest : public ::testing::Test {
  protected:
    TempFolder folder;
    FakePort port;
    FakeRecorder recorder;
    FakeClock clock;
    FakeWindow window;
    ReceptionTracker tracker{port, recorder, clock, window, folder.path()};

    // Hands `text` to the tracker as one read.
    void receive(const std::string& text) {
        port.arrive(text);
        tracker.read_scanner_reply();
    }
};

// A BC246T status reply: display lines padded to 16 characters, field 9 the
// reception flag ("0" while a transmission is heard).
inline std::string status_reply(const std::string& line1, const std::string& line2,
                                const std::string& flag = "1") {
    auto pad = [](std::string text) {
        if (text.size() < 16) {
            text.resize(16, ' ');
        }
        return text;
    };
    const std::string squelch = flag == "0" ? "1" : "0";
    return "STS," + pad(line1) + ",," + pad(line2) + ",,,,," + squelch + "," + flag + ",3,0\r";
}

}  // namespace taperly::testing
