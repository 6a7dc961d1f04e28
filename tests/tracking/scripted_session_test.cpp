// One session of a scanner, firing by firing, through the real poll cycle:
// what arrives, and what Taperly must do about it.
#include <gtest/gtest.h>

#include "tracker_fixture.h"

namespace taperly {
namespace {

using testing::status_reply;
using Strings = std::vector<std::string>;

struct Firing {
    const char* moment;
    std::string time;  // the clock during the firing
    bool minimised;
    std::string received;
    Strings sent;    // commands written during the firing
    Strings orders;  // recorder orders given during the firing
    Strings saved;   // takes saved during the firing
    std::string title;
};

const Strings kNone;
const Strings kOpenRecord{"Open", "Record"};
const Strings kFinish{"stop", "save", "close"};

const std::vector<Firing> kSession = {
    {"idle status",
     "9:00:00 PM",
     false,
     status_reply("Metro Trunk", "SCAN"),
     {"STS"},
     kFinish,
     kNone,
     "Taperly"},
    {"idle empty identity", "9:00:00 PM", false, "GID,,,,,,\r", {"GID"}, kNone, kNone, "Taperly"},
    {"conventional take starts",
     "9:05:07 PM",
     false,
     status_reply("Fire Disp", "Ch 12", "0"),
     {"STS"},
     kOpenRecord,
     kNone,
     "Taperly"},
    {"empty identity during take",
     "9:05:10 PM",
     false,
     "GID,,,,,,\r",
     {"GID"},
     kNone,
     kNone,
     "Taperly"},
    {"second line-2 text",
     "9:05:12 PM",
     false,
     status_reply("Fire Disp", "Ch 12 Main Gate", "0"),
     {"STS"},
     kOpenRecord,
     kNone,
     "Taperly"},
    {"prompt during take",
     "9:05:20 PM",
     false,
     status_reply("Quick Freq Save?", "Ch 12", "0"),
     {"GID", "KEY,P,P"},
     kOpenRecord,
     kNone,
     "Taperly"},
    {"conventional take ends",
     "9:05:31 PM",
     false,
     status_reply("Fire Disp", "Ch 12"),
     {"STS"},
     kFinish,
     Strings{"Fire-Disp_Quick-Freq-Save-_Ch-12_Main_9-05-07-PM_9-05-31-PM_12-05-2026.wav"},
     "Taperly"},
    {"garbled and short texts",
     "9:06:00 PM",
     false,
     std::string("xx,0,,\rSTS,a,b\rGID,1\r\xFF\x00\r", 24),
     {"GID"},
     kNone,
     kNone,
     "Taperly"},
    {"trunked take starts minimised",
     "9:10:00 PM",
     true,
     status_reply("Metro Trunk", "TG 1201", "0"),
     {"STS"},
     kOpenRecord,
     kNone,
     "Metro Trunk/TG 1201"},
    {"identity names",
     "9:10:02 PM",
     true,
     "GID,TGID,1201,,State Net,North Area,Ops: Main\r",
     {"GID"},
     kNone,
     kNone,
     "Metro Trunk/TG 1201"},
    {"press any key during take",
     "9:10:05 PM",
     true,
     status_reply("Metro Trunk", " Press Any Key  ", "0"),
     {"STS", "KEY,E,P"},
     kOpenRecord,
     kNone,
     "Metro Trunk/Press Any Key"},
    {"press any key again",
     "9:10:08 PM",
     true,
     status_reply("Metro Trunk", " Press Any Key  ", "0"),
     {"GID"},
     kOpenRecord,
     kNone,
     "Metro Trunk/Press Any Key"},
    {"trunked take ends restored",
     "9:10:20 PM",
     false,
     status_reply("Metro Trunk", " Press Any Key  "),
     {"STS", "KEY,E,P"},
     kFinish,
     Strings{"State-Net_North-Area_Ops--Main_9-10-00-PM_9-10-20-PM_12-05-2026.wav"},
     "Taperly"},
    {"silence", "9:10:21 PM", false, "", {"GID"}, kNone, kNone, "Taperly"},
};

template <typename T>
T since(const T& all, std::size_t before) {
    return T(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
}

TEST(ScriptedSession, EveryFiringDoesWhatTheScannerAsks) {
    testing::TempFolder folder;
    testing::FakePort port;
    testing::FakeRecorder recorder;
    testing::FakeClock clock;
    testing::FakeWindow window;
    ReceptionTracker tracker(port, recorder, clock, window, folder.path());

    for (const Firing& firing : kSession) {
        SCOPED_TRACE(firing.moment);
        clock.time = firing.time;
        window.minimised = firing.minimised;
        if (!firing.received.empty()) {
            port.arrive(firing.received);
        }
        const std::size_t commands = port.commands.size();
        const Strings orders_before = recorder.orders();
        const std::size_t saved = recorder.saved.size();

        tracker.poll_tick();

        EXPECT_EQ(since(port.commands, commands), firing.sent);
        EXPECT_EQ(since(recorder.orders(), orders_before.size()), firing.orders);
        EXPECT_EQ(since(recorder.saved, saved), firing.saved);
        EXPECT_EQ(window.title, firing.title);
    }
    // The last reply showed the prompt after the take was cleared: only the
    // prompt latch is set.
    TakeState after_session;
    after_session.Label1 = "INCC";
    EXPECT_EQ(tracker.state(), after_session);
}

}  // namespace
}  // namespace taperly
