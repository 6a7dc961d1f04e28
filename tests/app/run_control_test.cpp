#include "app/run_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>

#include "app/fake_run_window.h"
#include "recorder/takes/take_file.h"
#include "support/fakes.h"
#include "support/temp_folder.h"

namespace taperly {
namespace {

using testing::FakeClock;
using testing::FakePort;
using testing::FakeRecorder;
using testing::FakeRunWindow;
using testing::FakeWindow;
using testing::TempFolder;

constexpr const char* kSettings = "com_settings.txt";

std::string status_reply(const std::string& line1, const std::string& line2, bool receiving) {
    return "STS," + line1 + ",," + line2 + ",,,,,0," + (receiving ? "0" : "1") + ",3,0\r";
}

// What the user sees of the run state.
struct Looks {
    bool combo1 = false;
    bool combo2 = false;
    bool command1 = false;
    bool command2 = false;
    std::string caption;
    bool timer1 = false;
    bool timer3 = false;
    bool port_open = false;
    bool operator==(const Looks&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Looks& l) {
    return out << "{combo1 " << l.combo1 << ", combo2 " << l.combo2 << ", hold " << l.command1
               << ", run " << l.command2 << " \"" << l.caption << "\", timer1 " << l.timer1
               << ", timer3 " << l.timer3 << ", port open " << l.port_open << "}";
}

int count(const std::vector<std::string>& list, const std::string& item) {
    return static_cast<int>(std::count(list.begin(), list.end(), item));
}

class RunControlTest : public ::testing::Test {
  protected:
    Looks looks() {
        return {window.enabled[Control::Combo1],
                window.enabled[Control::Combo2],
                window.enabled[Control::Command1],
                window.enabled[Control::Command2],
                window.caption,
                window.running[Timer::Timer1],
                window.running[Timer::Timer3],
                port.is_open()};
    }
    // Ready to run on COM3 at 19200 bit/s.
    void start_ready() {
        folder.write(kSettings, "2\r\n1\r\n100\r\n");
        control.start_up();
    }
    void poll(const std::string& reply) {
        port.arrive(reply);
        control.poll_timer_fired();
    }

    TempFolder folder;
    FakeRunWindow window;
    FakeWindow display;
    FakePort port;
    FakeRecorder recorder;
    FakeClock clock;
    RunControl control{window, display, port, recorder, clock, folder.path()};

    static inline const Looks kReady{true, true, false, true, "Run", false, false, false};
    static inline const Looks kRunning{false, false, true, true, "Stop", true, true, true};
};

const std::vector<std::string> kWarmUp{"Open", "Record", "stop", "close"};

struct StartCase {
    const char* name;
    // Nothing: no settings file; "->": a link to nowhere, which cannot be read.
    std::optional<std::string> file;
    std::string status;
    bool combo2;
    bool command2;
    std::string show_t1i;
    int port;
    int speed;
    int period;
    bool warmed_up;
};

void PrintTo(const StartCase& c, std::ostream* out) {
    *out << c.name;
}

class StartUpTest : public RunControlTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartUpTest, LeavesTheWindowAsTheSettingsFileSays) {
    const StartCase& c = GetParam();
    if (c.file == "->") {
        std::filesystem::create_symlink(folder.file("nowhere"), folder.file(kSettings));
    } else if (c.file) {
        folder.write(kSettings, *c.file);
    }
    control.start_up();

    EXPECT_EQ(window.status.rfind(c.status, 0), 0u) << window.status;
    EXPECT_EQ(window.enabled[Control::Combo2], c.combo2);
    EXPECT_EQ(window.enabled[Control::Command2], c.command2);
    EXPECT_TRUE(window.enabled[Control::Combo1]);
    EXPECT_EQ(control.show_t1i(), c.show_t1i);
    EXPECT_EQ(window.port, c.port);
    EXPECT_EQ(window.speed, c.speed);
    EXPECT_EQ(window.period, c.period);
    EXPECT_EQ(recorder.orders(), c.warmed_up ? kWarmUp : std::vector<std::string>{});
    EXPECT_EQ(window.version, "Taperly\r\nV1.0 04/30/05");
    EXPECT_EQ(window.caption, "Run");
    EXPECT_FALSE(window.running[Timer::Timer1]);
}

INSTANTIATE_TEST_SUITE_P(
    Files, StartUpTest,
    ::testing::Values(
        StartCase{"none", std::nullopt, "Select COM Port", false, false, "-", -1, -1, 100, false},
        StartCase{"complete", "2\r\n1\r\n250\r\n", "Hit Run", true, true, "250", 2, 1, 250, true},
        StartCase{"empty", "", "Select COM Port", false, true, "100", -1, -1, 100, false},
        StartCase{"port_only", "3\r\n", "Select Port Speed", true, true, "100", 3, -1, 100, false},
        StartCase{"out_of_range", "12\r\n9\r\n0\r\n", "Select COM Port", false, true, "100", -1, -1,
                  100, false},
        StartCase{"unreadable", "->", "Cannot read the settings file", false, false, "-", -1, -1,
                  100, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct AtStartCase {
    const char* name;
    std::optional<std::string> file;
    AtStart at_start;
    // Attempts to open the port that fail before one succeeds.
    int refusals;
    bool runs;
    std::string status;
};

void PrintTo(const AtStartCase& c, std::ostream* out) {
    *out << c.name;
}

class RunAtStartTest : public RunControlTest, public ::testing::WithParamInterface<AtStartCase> {};

// Nobody may be at a recorder that starts with the computer: Run is pressed
// for them once a port and a speed are restored, and a port that is not
// there yet is tried every second until polling can begin.
TEST_P(RunAtStartTest, RunsOnlyWithARestoredPortAndSpeedAndKeepsTryingThePort) {
    const AtStartCase& c = GetParam();
    if (c.file) {
        folder.write(kSettings, *c.file);
    }
    port.fail_open = c.refusals > 0;
    control.start_up(c.at_start);
    EXPECT_EQ(window.status, c.status);
    if (!c.runs) {
        EXPECT_EQ(window.caption, "Run");
        EXPECT_EQ(port.opens, 0);
        EXPECT_FALSE(window.running[Timer::Timer1]);
        return;
    }
    EXPECT_EQ(window.caption, "Stop");
    EXPECT_TRUE(window.running[Timer::Timer1]);
    EXPECT_EQ(port.opens, 1);
    for (int refused = 1; refused <= c.refusals; ++refused) {
        EXPECT_NE(window.detail.find("cannot open"), std::string::npos) << window.detail;
        clock.steady += std::chrono::milliseconds(999);
        control.poll_timer_fired();
        EXPECT_EQ(port.opens, refused) << "no more than one attempt a second";
        EXPECT_TRUE(port.commands.empty()) << "nothing is sent before the port opens";
        clock.steady += std::chrono::milliseconds(1);
        port.fail_open = refused < c.refusals;
        control.poll_timer_fired();
        EXPECT_EQ(port.opens, refused + 1);
    }
    EXPECT_TRUE(port.is_open());
    EXPECT_EQ(port.opened_port, 3);
    EXPECT_EQ(port.opened_speed, 19200);
    control.poll_timer_fired();
    EXPECT_EQ(port.commands, std::vector<std::string>{"STS"});
    control.mode_timer_fired();
    EXPECT_EQ(window.status, "Waiting");
}

INSTANTIATE_TEST_SUITE_P(
    Starts, RunAtStartTest,
    ::testing::Values(
        AtStartCase{"restored", "2\r\n1\r\n100\r\n", AtStart::kRun, 0, true, "Hit Run"},
        AtStartCase{"port_not_there_yet", "2\r\n1\r\n100\r\n", AtStart::kRun, 2, true,
                    "Port not open, trying again"},
        AtStartCase{"no_settings_file", std::nullopt, AtStart::kRun, 0, false, "Select COM Port"},
        AtStartCase{"no_speed_restored", "2\r\n", AtStart::kRun, 0, false, "Select Port Speed"},
        AtStartCase{"not_asked_to", "2\r\n1\r\n100\r\n", AtStart::kWaitForRun, 0, false,
                    "Hit Run"}),
    [](const auto& info) { return std::string(info.param.name); });

// What a kill or a power cut left hidden is named at start-up, and the
// status line says so until Run.
TEST_F(RunControlTest, StartUpNamesTheTakesACrashLeftAndSaysSoUntilRun) {
    const std::string sound(44 + 200, '\x01');
    folder.write(hidden_take_prefix("9-05-07-PM_12-05-2026") + "Ab12Cd.wav", sound);
    folder.write(hidden_take_prefix("") + "Xy34Zw.wav", sound);
    start_ready();
    EXPECT_EQ(window.status, "2 unfinished takes saved");
    for (const char* name : {"unfinished_9-05-07-PM_12-05-2026.wav", "unfinished.wav"}) {
        EXPECT_NE(window.detail.find(name), std::string::npos) << window.detail;
        EXPECT_EQ(folder.read(name).size(), sound.size()) << name;
    }
    control.run_stop_pressed();
    control.mode_timer_fired();
    EXPECT_EQ(window.status, "Waiting");
}

// A run that started by itself is nobody's answer to the notice: it stays,
// beside what the run is doing, until a take is saved.
TEST_F(RunControlTest, ARunStartedByItselfKeepsTheRecoveredNoticeUntilATakeIsSaved) {
    folder.write(hidden_take_prefix("9-05-07-PM_12-05-2026") + "Ab12Cd.wav",
                 std::string(44 + 200, '\x01'));
    folder.write(kSettings, "2\r\n1\r\n100\r\n");
    control.start_up(AtStart::kRun);
    control.mode_timer_fired();
    EXPECT_EQ(window.status, "1 unfinished take saved");
    EXPECT_NE(window.detail.find("Now: Waiting"), std::string::npos) << window.detail;
    poll(status_reply("Metro", "Fire", true));
    poll(status_reply("Metro", "Fire", false));
    control.mode_timer_fired();
    EXPECT_EQ(window.status, "Waiting");
}

struct AnswerCase {
    const char* name;
    std::string answer;
    std::string status;
};

class ScannerAnswers : public RunControlTest, public ::testing::WithParamInterface<AnswerCase> {};

// Whole answers of another kind are a scanner in a menu; bytes without a
// reply in them are a speed that differs.
TEST_P(ScannerAnswers, ThatAreNoRepliesAreNamedForWhatTheyAre) {
    start_ready();
    control.run_stop_pressed();
    for (int poll_at = 0; poll_at <= 20; ++poll_at) {
        clock.steady += std::chrono::milliseconds(100);
        poll(GetParam().answer);
    }
    control.mode_timer_fired();
    EXPECT_EQ(window.status, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ScannerAnswers,
    ::testing::Values(AnswerCase{"error", "ERR\r", "Scanner sends ERR: in a menu?"},
                      AnswerCase{"not_good", "NG\r", "Scanner sends NG: in a menu?"},
                      AnswerCase{"key_answer", "KEY,OK\r", "Replies cannot be read"},
                      AnswerCase{"garbled", "\x93\x11x\xfe\r", "Replies cannot be read"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RunControlTest, ChoosingPortThenSpeedWarmsUpAndMakesReady) {
    control.start_up();
    window.port = 0;
    control.port_chosen();
    EXPECT_EQ(window.status, "Select Port Speed");
    EXPECT_FALSE(window.enabled[Control::Command2]);
    window.speed = 3;
    control.speed_chosen();
    EXPECT_EQ(window.statuses.end()[-2], "Setting Up Audio");
    EXPECT_EQ(window.status, "Hit Run");
    EXPECT_EQ(looks(), kReady);
    EXPECT_EQ(recorder.orders(), kWarmUp);

    // Choosing again: the warm-up repeats, Run stays enabled.
    control.speed_chosen();
    control.port_chosen();
    EXPECT_EQ(count(recorder.orders(), "Open"), 2);
    EXPECT_EQ(window.status, "Select Port Speed");
    EXPECT_TRUE(window.enabled[Control::Command2]);
}

TEST_F(RunControlTest, RunAndStopWalkThroughTheirStates) {
    start_ready();
    const Looks stopped{true, true, false, true, "Run", false, false, false};
    for (int run = 1; run <= 2; ++run) {
        std::filesystem::remove(folder.file(kSettings));
        window.period = 100 * run;
        control.run_stop_pressed();
        EXPECT_EQ(looks(), kRunning) << "run " << run;
        EXPECT_EQ(port.opened_port, 3);
        EXPECT_EQ(port.opened_speed, 19200);
        EXPECT_EQ(window.colours[CaptionLabel::Label8], (Rgb{192, 192, 192}));
        EXPECT_EQ(window.colours[CaptionLabel::Label10], (Rgb{192, 192, 192}));
        EXPECT_EQ(folder.read(kSettings), "2\r\n1\r\n" + std::to_string(100 * run) + "\r\n");
        EXPECT_EQ(recorder.orders().back(), "close");
        // Two poll intervals and two 115-byte status replies at 19200 bit/s.
        EXPECT_TRUE(recorder.listening);
        EXPECT_EQ(recorder.reaches.back(), std::chrono::milliseconds(200 * run + 118));

        control.mode_timer_fired();
        EXPECT_EQ(window.status, "Waiting");
        window.status = "Recording";
        control.run_stop_pressed();
        EXPECT_EQ(looks(), stopped) << "run " << run;
        EXPECT_FALSE(recorder.listening);
        EXPECT_EQ(window.colours[CaptionLabel::Label8], (Rgb{64, 64, 64}));
        EXPECT_EQ(window.colours[CaptionLabel::Label10], (Rgb{64, 64, 64}));
        EXPECT_EQ(window.status, "Recording") << "Stop leaves the status line alone";
    }
}

struct FailedOpenCase {
    const char* name;
    std::string settings;
    bool port_refuses;
    std::string status;
};

void PrintTo(const FailedOpenCase& c, std::ostream* out) {
    *out << c.name;
}

class FailedOpenTest : public RunControlTest,
                       public ::testing::WithParamInterface<FailedOpenCase> {};

TEST_P(FailedOpenTest, ChangesNothingButTheStatusLine) {
    const FailedOpenCase& c = GetParam();
    folder.write(kSettings, c.settings);
    control.start_up();
    std::filesystem::remove(folder.file(kSettings));
    port.fail_open = c.port_refuses;
    const Looks before = looks();
    const auto orders = recorder.orders();

    control.run_stop_pressed();

    EXPECT_EQ(looks(), before);
    EXPECT_EQ(window.status, c.status);
    EXPECT_FALSE(std::filesystem::exists(folder.file(kSettings)));
    EXPECT_EQ(recorder.orders(), orders);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, FailedOpenTest,
    ::testing::Values(FailedOpenCase{"port_refuses", "2\r\n1\r\n", true, "cannot open"},
                      FailedOpenCase{"no_port_chosen", "", false,
                                     "There is no COM port 0: choose a port from 1 to 10."},
                      FailedOpenCase{"no_speed_chosen", "4\r\n", false,
                                     "The port speed 0 is not one a serial line can run at."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RunControlTest, UnwritableSettingsLeaveTheRunOnAndKeepTheReasonShown) {
    // A folder where the file should be: it is no settings file to read, and
    // it cannot be written.
    std::filesystem::create_directory(folder.file(kSettings));
    control.start_up();
    window.port = 0;
    window.speed = 0;
    control.speed_chosen();
    const auto orders = recorder.orders();

    control.run_stop_pressed();

    EXPECT_EQ(looks(), kRunning);
    EXPECT_EQ(recorder.orders(), orders) << "the recorder is not told to close";
    EXPECT_TRUE(recorder.listening) << "the run records whole transmissions all the same";
    EXPECT_EQ(window.status.rfind("Cannot write the settings file", 0), 0u) << window.status;
    const std::string reason = window.status;
    control.mode_timer_fired();
    EXPECT_EQ(window.status, reason);
    poll(status_reply("Metro", "Fire", true));
    control.mode_timer_fired();
    EXPECT_EQ(window.status, "Recording");
}

struct CaptionCase {
    std::string caption;
    bool starts;
};

void PrintTo(const CaptionCase& c, std::ostream* out) {
    *out << '"' << c.caption << '"';
}

class CaptionTest : public RunControlTest, public ::testing::WithParamInterface<CaptionCase> {};

TEST_P(CaptionTest, OnlyRunExactlyStartsARun) {
    start_ready();
    window.caption = GetParam().caption;
    control.run_stop_pressed();
    EXPECT_EQ(port.is_open(), GetParam().starts);
    EXPECT_EQ(window.caption, GetParam().starts ? "Stop" : "Run");
}

INSTANTIATE_TEST_SUITE_P(Captions, CaptionTest,
                         ::testing::Values(CaptionCase{"Run", true}, CaptionCase{"run", false},
                                           CaptionCase{"Run ", false}, CaptionCase{"RUN", false},
                                           CaptionCase{"Stop", false}, CaptionCase{"", false}));

enum class Ending { LinkLost, PortFailsAtPoll, StopPressed, WindowClosed };

struct EndingCase {
    const char* name;
    Ending ending;
    bool during_take;
    // A lost line keeps the run on: it is opened again by itself.
    bool run_goes_on;
    std::string status;
};

void PrintTo(const EndingCase& c, std::ostream* out) {
    *out << c.name;
}

class RunEndingTest : public RunControlTest, public ::testing::WithParamInterface<EndingCase> {};

// However a run ends or its line is lost, what was recorded of a
// transmission is saved first, and the next take starts clean.
TEST_P(RunEndingTest, SavesTheTakeInProgressThenStopsOrReopens) {
    const EndingCase& c = GetParam();
    start_ready();
    control.run_stop_pressed();
    poll(status_reply("Metro", "Fire", c.during_take));
    control.mode_timer_fired();
    ASSERT_EQ(control.tracker().state().take_in_progress(), c.during_take);

    switch (c.ending) {
        case Ending::LinkLost:
            control.link_lost("The scanner's line on COM3 is gone.");
            break;
        case Ending::PortFailsAtPoll:
            port.fail_writes = true;
            control.poll_timer_fired();
            port.fail_writes = false;
            break;
        case Ending::StopPressed:
            control.run_stop_pressed();
            break;
        case Ending::WindowClosed:
            control.shut_down();
            break;
    }

    EXPECT_EQ(recorder.saved.size(), c.during_take ? 1u : 0u);
    EXPECT_EQ(recorder.mode, kModeNotOpen);
    EXPECT_FALSE(control.tracker().state().take_in_progress());
    clock.time = "9:10:00 PM";
    if (c.run_goes_on) {
        Looks retrying = kRunning;
        retrying.port_open = false;
        EXPECT_EQ(looks(), retrying);
        EXPECT_EQ(window.status, "Line lost, trying again");
        EXPECT_NE(window.detail.find(c.status), std::string::npos) << window.detail;
        port.fail_open = true;
        control.poll_timer_fired();
        EXPECT_EQ(port.opens, 2) << "the first attempt comes at once";
        EXPECT_NE(window.detail.find("cannot open"), std::string::npos) << window.detail;
        clock.steady += std::chrono::milliseconds(999);
        control.poll_timer_fired();
        EXPECT_EQ(port.opens, 2) << "then no more than one a second";
        clock.steady += std::chrono::milliseconds(1);
        control.poll_timer_fired();
        EXPECT_EQ(port.opens, 3);
        port.fail_open = false;
        clock.steady += std::chrono::milliseconds(1000);
        control.poll_timer_fired();
        EXPECT_EQ(looks(), kRunning);
        EXPECT_EQ(window.status, "Waiting");
        EXPECT_EQ(port.opened_speed, 19200);
    } else {
        EXPECT_EQ(looks(), (Looks{true, true, false, true, "Run", false, false, false}));
        EXPECT_EQ(window.status, c.status);
        control.run_stop_pressed();
        EXPECT_EQ(looks(), kRunning);
    }
    poll(status_reply("Metro", "Fire", true));
    poll(status_reply("Metro", "Fire", false));
    ASSERT_FALSE(recorder.saved.empty());
    EXPECT_NE(recorder.saved.back().find("_9-10-00-PM_9-10-00-PM_"), std::string::npos)
        << recorder.saved.back();
}

INSTANTIATE_TEST_SUITE_P(
    Endings, RunEndingTest,
    ::testing::Values(
        EndingCase{"link_lost_in_take", Ending::LinkLost, true, true,
                   "The scanner's line on COM3 is gone."},
        EndingCase{"link_lost_idle", Ending::LinkLost, false, true,
                   "The scanner's line on COM3 is gone."},
        EndingCase{"poll_fails_in_take", Ending::PortFailsAtPoll, true, true, "write failed"},
        EndingCase{"poll_fails_idle", Ending::PortFailsAtPoll, false, true, "write failed"},
        EndingCase{"stop_in_take", Ending::StopPressed, true, false, "Waiting"},
        EndingCase{"stop_idle", Ending::StopPressed, false, false, "Waiting"},
        EndingCase{"closed_in_take", Ending::WindowClosed, true, false, "Waiting"}),
    [](const auto& info) { return std::string(info.param.name); });

struct IntervalCase {
    int in_file;
    int used;
    std::string status;
    // The speed list's index in the file: 1 is 19200 bit/s, 0 is 9600.
    int speed_index = 1;
};

class PollIntervalTest : public RunControlTest,
                         public ::testing::WithParamInterface<IntervalCase> {};

// An interval the scanner cannot be polled at is used as the nearest one it
// can, said until Run, and left in the file as the user wrote it.
TEST_P(PollIntervalTest, IsKeptInRangeAndTheFileKeepsTheUsersNumber) {
    const IntervalCase& c = GetParam();
    const std::string file =
        "2\r\n" + std::to_string(c.speed_index) + "\r\n" + std::to_string(c.in_file) + "\r\n";
    folder.write(kSettings, file);
    control.start_up();
    EXPECT_EQ(window.period, c.used);
    EXPECT_EQ(window.status, c.status);
    if (c.used != c.in_file) {
        EXPECT_NE(window.detail.find(std::to_string(c.in_file) + " ms in com_settings.txt"),
                  std::string::npos)
            << window.detail;
    }
    control.run_stop_pressed();
    control.mode_timer_fired();
    EXPECT_EQ(window.status, "Waiting");
    EXPECT_EQ(folder.read(kSettings), file);
}

INSTANTIATE_TEST_SUITE_P(
    Intervals, PollIntervalTest,
    ::testing::Values(IntervalCase{1, 50, "Poll interval: 50 ms used"},
                      IntervalCase{49, 50, "Poll interval: 50 ms used"},
                      IntervalCase{50, 50, "Hit Run"}, IntervalCase{1000, 1000, "Hit Run"},
                      IntervalCase{1001, 1000, "Poll interval: 1000 ms used"},
                      IntervalCase{100000, 1000, "Poll interval: 1000 ms used"},
                      // At 9600 bit/s a status and an identity reply take 190 ms.
                      IntervalCase{60, 95, "Poll interval: 95 ms used", 0},
                      IntervalCase{94, 95, "Poll interval: 95 ms used", 0},
                      IntervalCase{95, 95, "Hit Run", 0}));

// A scanner that falls silent mid-call ends its take when the silence is
// long enough to be named, not when it speaks again.
TEST_F(RunControlTest, SilentScannerEndsTheTakeAtTheLimit) {
    start_ready();
    control.run_stop_pressed();
    poll(status_reply("Metro", "Fire", true));
    ASSERT_TRUE(control.tracker().state().take_in_progress());
    clock.time = "9:05:09 PM";
    clock.steady += std::chrono::milliseconds(1999);
    control.poll_timer_fired();
    EXPECT_TRUE(control.tracker().state().take_in_progress());
    clock.steady += std::chrono::milliseconds(1);
    control.poll_timer_fired();
    EXPECT_FALSE(control.tracker().state().take_in_progress());
    EXPECT_EQ(recorder.saved,
              std::vector<std::string>{"Metro_-_Fire_9-05-07-PM_9-05-09-PM_12-05-2026.wav"});
    EXPECT_EQ(recorder.take_starts, std::vector<std::string>{"9-05-07-PM_12-05-2026"});
    EXPECT_EQ(window.status, "Scanner does not answer");
}

// A take whose name is taken leaves the file there as it was, and says so
// until the next take begins.
TEST_F(RunControlTest, TakeWhoseNameIsTakenIsToldAndChangesNoFile) {
    const std::string taken = "Metro_-_Fire_9-05-07-PM_9-05-07-PM_12-05-2026.wav";
    folder.write(taken, "an earlier take");
    start_ready();
    control.run_stop_pressed();
    poll(status_reply("Metro", "Fire", true));
    poll(status_reply("Metro", "Fire", false));
    control.mode_timer_fired();
    EXPECT_TRUE(recorder.saved.empty());
    EXPECT_EQ(folder.read(taken), "an earlier take");
    EXPECT_EQ(window.status, "Take not saved: name taken");
    EXPECT_NE(window.detail.find(taken), std::string::npos) << window.detail;
    poll(status_reply("Metro", "Fire", false));
    control.mode_timer_fired();
    EXPECT_EQ(window.status, "Take not saved: name taken") << "idle replies do not clear it";
    clock.time = "9:06:00 PM";
    poll(status_reply("Metro", "Fire", true));
    control.mode_timer_fired();
    EXPECT_EQ(window.status, "Recording");
    poll(status_reply("Metro", "Fire", false));
    control.run_stop_pressed();
    EXPECT_EQ(window.status, "Waiting") << "Stop before the mode timer fired";
}

TEST_F(RunControlTest, RunDropsBytesAHalfReceivedReplyLeft) {
    start_ready();
    control.run_stop_pressed();
    poll("STS,Old line");
    control.run_stop_pressed();
    control.run_stop_pressed();
    poll(status_reply("Metro", "Fire", false));
    EXPECT_EQ(display.mirror, "Metro\r\nFire\r\n");
}

TEST_F(RunControlTest, HoldPressesTheKeyAndMovesTheFocusToTheLogo) {
    start_ready();
    control.run_stop_pressed();
    control.hold_pressed();
    control.hold_pressed();
    EXPECT_EQ(count(port.commands, "KEY,H,P"), 2);
    EXPECT_EQ(window.logo_focused, 2);

    port.fail_writes = true;
    control.hold_pressed();
    EXPECT_EQ(window.status, "write failed");
    EXPECT_EQ(window.logo_focused, 2);
}

TEST_F(RunControlTest, LogoOpensTheHelpPage) {
    control.start_up();
    control.logo_clicked();
    EXPECT_EQ(window.help_opened, 1);
}

}  // namespace
}  // namespace taperly

namespace taperly {
namespace {

TEST_F(RunControlTest, ReplyArrivingBetweenPollsIsHandledAtOnceWithoutAPoll) {
    start_ready();
    control.run_stop_pressed();
    port.commands.clear();
    recorder.log.clear();
    port.arrive(status_reply("Metro", "Fire", true).substr(0, 20));
    control.input_arrived();
    EXPECT_EQ(count(recorder.log, "Record"), 0) << "half a reply is not acted on";
    port.arrive(status_reply("Metro", "Fire", true).substr(20));
    control.input_arrived();
    EXPECT_EQ(count(recorder.log, "Record"), 1);
    EXPECT_EQ(control.tracker().dox(), "1") << "only a poll switches the phase";
    EXPECT_TRUE(port.commands.empty()) << "nothing is sent between polls";
}

TEST_F(RunControlTest, BytesArrivingWhileStoppedWaitForTheNextRun) {
    start_ready();
    recorder.log.clear();
    port.arrive(status_reply("Metro", "Fire", true));
    control.input_arrived();
    EXPECT_EQ(count(recorder.log, "Record"), 0);
}

}  // namespace
}  // namespace taperly
