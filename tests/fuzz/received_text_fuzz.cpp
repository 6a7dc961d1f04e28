// Whatever arrives on the serial line, in whatever pieces: every firing must
// finish, the phase must keep alternating and every take name must be safe.
#include <cstddef>
#include <cstdint>
#include <string>

#include "support/fakes.h"
#include "support/temp_folder.h"
#include "tracking/reception_tracker.h"
#include "tracking/take_naming.h"

namespace {

void require(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

bool is_safe_file_name(const std::string& name) {
    if (name.size() > taperly::kMaxFileNameBytes || name.size() < 4 ||
        name.compare(name.size() - 4, 4, ".wav") != 0) {
        return false;
    }
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte == 127 || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' ||
            c == '"') {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static taperly::testing::TempFolder folder;
    taperly::testing::FakePort port;
    taperly::testing::FakeRecorder recorder;
    taperly::testing::FakeClock clock;
    taperly::testing::FakeWindow window;
    taperly::ReceptionTracker tracker(port, recorder, clock, window, folder.path());

    // The first byte of each piece says how long it is, so the fuzzer also
    // explores every way a reply can be cut between reads.
    std::size_t pos = 0;
    while (pos < size) {
        const std::size_t length = data[pos] % 64;
        ++pos;
        const std::size_t taken = length < size - pos ? length : size - pos;
        port.arrive(std::string(reinterpret_cast<const char*>(data + pos), taken));
        pos += taken;
        const std::string phase_before = tracker.dox();
        tracker.poll_tick();
        require(tracker.dox() == (phase_before == "1" ? "2" : "1"));
        require(tracker.partial_reply_size() <= taperly::ReceptionTracker::kReceiveBufferSize);
    }
    // End any take so that its name is composed and checked too.
    port.arrive("\rSTS,,,,,,,,,1,,\r");
    tracker.poll_tick();
    for (const std::string& entry : recorder.log) {
        if (entry.rfind("FileName=", 0) == 0) {
            require(is_safe_file_name(entry.substr(9)));
        }
    }
    require(tracker.state() == taperly::TakeState{});
    return 0;
}
