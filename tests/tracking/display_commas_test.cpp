// Display lines that hold commas: the scanner sends them as they are, so the
// reply has more fields than its layout, and Taperly must still find the
// reception flag, the lines and the take's name where the scanner meant them.
#include <gtest/gtest.h>

#include <ostream>

#include "tracker_fixture.h"

namespace taperly {
namespace {

using testing::status_reply;
using Strings = std::vector<std::string>;

struct CommaCase {
    const char* name;
    std::string reply;
    bool receiving;      // the reply starts a take
    std::string mirror;  // the two lines as the window shows them
    std::string take;    // the take's name once a status reply ends it
};

void PrintTo(const CommaCase& c, std::ostream* out) {
    *out << c.name;
}

class DisplayCommas : public testing::TrackerTest,
                      public ::testing::WithParamInterface<CommaCase> {};

TEST_P(DisplayCommas, ReadAsTheScannerMeantThem) {
    const CommaCase& c = GetParam();
    receive(c.reply);
    const Strings orders =
        c.receiving ? Strings{"Open", "Record"} : Strings{"stop", "save", "close"};
    EXPECT_EQ(recorder.orders(), orders);
    EXPECT_EQ(window.mirror, c.mirror);

    clock.time = "9:05:31 PM";
    receive(status_reply("State Net", "SCAN"));
    EXPECT_EQ(recorder.saved, c.take.empty() ? Strings() : Strings{c.take});
}

const std::string kTail = "_9-05-07-PM_9-05-31-PM_12-05-2026.wav";

INSTANTIATE_TEST_SUITE_P(
    Replies, DisplayCommas,
    ::testing::Values(
        // Sent by a scanner in the field: without the comma, field 9 is "0".
        CommaCase{"third_party_reply",
                  "STS,Fire, Station 1 ," + std::string(16, ' ') + ", 851.0125MHz    ," +
                      std::string(16, '#') + ",112011111111000,11111111000011000,,1,0,0,0\r",
                  true, "Fire, Station 1 \r\n 851.0125MHz    \r\n",
                  "Fire,-Station-1_-_851.0125MHz" + kTail},
        CommaCase{"comma_inside_both_lines", status_reply("Fire, EMS", "Disp,1", "0"), true,
                  "Fire, EMS       \r\nDisp,1          \r\n", "Fire,-EMS_-_Disp,1" + kTail},
        CommaCase{"comma_first", status_reply(",Fire EMS", ",Disp 1", "0"), true,
                  ",Fire EMS       \r\n,Disp 1         \r\n", ",Fire-EMS_-_,Disp-1" + kTail},
        CommaCase{"comma_last_of_sixteen", status_reply("Fire Station 12,", "Zone 1,2", "0"), true,
                  "Fire Station 12,\r\nZone 1,2        \r\n",
                  "Fire-Station-12,_-_Zone-1,2" + kTail},
        CommaCase{"commas_side_by_side", status_reply("A,,B", ",,Ops,,", "0"), true,
                  "A,,B            \r\n,,Ops,,         \r\n", "A,,B_-_,,Ops,," + kTail},
        CommaCase{"line_two_of_commas", status_reply("Metro", "1,2,3,4,5,6,7,8,", "0"), true,
                  "Metro           \r\n1,2,3,4,5,6,7,8,\r\n", "Metro_-_1,2,3,4,5,6,7,8," + kTail},
        // Split, its field 9 would be the squelch, "0", and start a take.
        CommaCase{"comma_while_idle", status_reply("Fire, EMS", "SCAN"), false,
                  "Fire, EMS       \r\nSCAN            \r\n", ""},
        // No line is padded, so nothing is rejoined: read as split.
        CommaCase{"longer_layout_unpadded", "STS,Metro,,Fire,,,,,1,0,3,0,X\r", true,
                  "Metro\r\nFire\r\n", "Metro_-_Fire" + kTail}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace taperly
