// The sound server dies in the middle of a take, is missing for the next
// one and comes back, under the real window; the server is this test's own, started for it alone.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "e2e/e2e_test.h"
#include "recorder/takes/take_format.h"
#include "recorder/takes/take_layout.h"

namespace taperly::e2e {
namespace {

using testing::TempFolder;

constexpr int kSpeed = kFastSpeed;

std::string server_folder() {
    const char* folder = std::getenv("TAPERLY_SOUND_FOLDER");
    return folder ? folder : "";
}

pid_t server_pid() {
    pid_t pid = 0;
    std::ifstream(server_folder() + "/server.pid") >> pid;
    return pid;
}

// The bytes recorded so far into the hidden file of the take under way.
std::uintmax_t recorded_bytes(const TempFolder& folder) {
    return hidden_take_bytes(folder.path(), folder.names());
}

// A hidden take's size once half a second of sound follows its header.
constexpr std::uintmax_t kHalfSecondTaken =
    kTakeHeaderSize + WaveFileWriter::kSampleRate * kTakeBytesPerFrame / 2;

// On a sound server of the test's own, which it kills, freezes and restarts.
class SoundServerFault : public E2eTest {
  protected:
    void SetUp() override {
        ASSERT_NE(server_folder(), "") << "TAPERLY_SOUND_FOLDER names no server of this test's own";
        server = server_pid();
        ASSERT_GT(server, 0);
        ASSERT_TRUE(sound_server_answers()) << "the test's own server is not running";
    }

    pid_t server = 0;
    TempFolder folder;
};

TEST_F(SoundServerFault, DiesMidTakeIsNamedWhileMissingAndLaterTakesRecordAgain) {
    start(
        "0.4 | State Net | SCAN | no\n"
        "2.0 | State Net | North Ops | yes | State Net | North | Dies\n"
        "1.5 | State Net | SCAN | no\n"
        "1.5 | State Net | North Ops | yes | State Net | North | Unheard\n"
        "2.5 | State Net | SCAN | no\n"
        "1.0 | State Net | North Ops | yes | State Net | North | Back\n"
        "0.5 | State Net | SCAN | no\n");
    E2eWindow window(folder.path(), kSpeed);
    window.click_run_stop();

    window.time.set(on_test_day(10, 0, 0));
    ASSERT_TRUE(E2eWindow::wait_for([&] { return window.take_in_progress(); }));
    // Half a second of sound, then the server goes.
    ASSERT_TRUE(E2eWindow::wait_for([&] { return recorded_bytes(folder) >= kHalfSecondTaken; }));
    ASSERT_EQ(::kill(server, SIGKILL), 0);
    window.time.set(on_test_day(10, 0, 2));
    ASSERT_TRUE(E2eWindow::wait_for([&] { return !window.take_in_progress(); }));

    // A call while there is no server: said for as long as it lasts, no file.
    std::string during_unheard;
    std::string detail;
    ASSERT_TRUE(window.follow_take(on_test_day(10, 0, 3), on_test_day(10, 0, 4), [&] {
        if (window.take_in_progress()) {
            during_unheard = window.status();
            detail = window.status_detail();
        }
    }));
    EXPECT_EQ(during_unheard, "No sound input: not saved");
    EXPECT_NE(detail.find("not running"), std::string::npos) << detail;
    // Capture runs between takes: the input is known to be missing before the
    // next call, and found again once the server is back.
    EXPECT_EQ(window.status(), "No sound input: not saved");

    const std::string restart = std::string(TAPERLY_SOUND_SERVER_SCRIPT) + " start " +
                                server_folder() + " " + TAPERLY_TONE + " >/dev/null";
    ASSERT_EQ(std::system(restart.c_str()), 0) << restart;
    EXPECT_TRUE(E2eWindow::wait_for([&] { return window.status() == "Waiting"; }));
    ASSERT_TRUE(window.follow_take(on_test_day(10, 0, 5), on_test_day(10, 0, 6)));
    window.click_run_stop();

    const std::string dies = "State-Net_North_Dies_10-00-00-AM_10-00-02-AM_12-05-2026.wav";
    const std::string back = "State-Net_North_Back_10-00-05-AM_10-00-06-AM_12-05-2026.wav";
    std::vector<std::string> expected{kSettingsFile, kTakesLog, dies, back};
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(folder.names(), expected);
    const TakeSound cut = measure_take(folder.file(dies));
    const TakeSound again = measure_take(folder.file(back));
    std::printf("%.3f s kept before the server died; %.3f s recorded after it came back\n",
                cut.seconds, again.seconds);
    EXPECT_GE(cut.seconds, 0.5) << "what was recorded before the server died is kept";
    EXPECT_NEAR(cut.frequency, kToneHz, kToneHz * 0.02);
    EXPECT_TRUE(take_length_fits(again.seconds, 1.0, kSpeed)) << again.seconds;
    EXPECT_NEAR(again.frequency, kToneHz, kToneHz * 0.02);
}

// When each command reached the simulator, in seconds, from its log.
std::vector<double> command_times(const std::string& log_path) {
    std::vector<double> times;
    std::ifstream log(log_path);
    double at = 0;
    std::string command;
    while (log >> at >> command) {
        if (command.rfind("STS", 0) == 0 || command.rfind("GID", 0) == 0) {
            times.push_back(at);
        }
    }
    return times;
}

// After the test above, which left its server running again. The input
// goes mid-take, so the capture is dead and looked for again; then the
// server freezes for 10 s: polling must go on as if nothing happened.
TEST_F(SoundServerFault, InputGoneAndServerFrozenMidTakeHoldUpNoPoll) {
    setenv("TAPERLY_AUDIO_INPUT", "tone_1000", 1);
    start(
        "0.4 | State Net | SCAN | no\n"
        "16.0 | State Net | North Ops | yes | State Net | North | Frozen\n"
        "1.5 | State Net | SCAN | no\n");
    E2eWindow window(folder.path(), kSpeed);
    window.click_run_stop();
    window.time.set(on_test_day(10, 0, 0));
    ASSERT_TRUE(E2eWindow::wait_for([&] { return window.take_in_progress(); }));
    const auto take_began = std::chrono::steady_clock::now();
    ASSERT_TRUE(E2eWindow::wait_for([&] { return recorded_bytes(folder) >= kHalfSecondTaken; }));
    ASSERT_EQ(std::system("pactl unload-module $(pactl list short modules | "
                          "awk '/source_name=tone_1000/ {print $1}')"),
              0);
    ASSERT_TRUE(
        E2eWindow::wait_for([&] { return window.status().rfind("No sound input", 0) == 0; }, 3000))
        << window.status();

    const double frozen_from = command_times(simulator->log_path()).back();
    ASSERT_EQ(::kill(server, SIGSTOP), 0);
    std::set<std::string> shown;
    E2eWindow::wait_for(
        [&] {
            shown.insert(window.status());
            return false;
        },
        10000);
    ASSERT_EQ(::kill(server, SIGCONT), 0);
    const std::vector<double> times = command_times(simulator->log_path());
    const double thawed_at = times.back();

    // The scanner's word ends the take: its end, 16 s after it began.
    window.time.set(on_test_day(10, 0, 16));
    ASSERT_TRUE(E2eWindow::wait_for([&] { return !window.take_in_progress(); }));
    const double ended_after =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - take_began).count();
    window.click_run_stop();
    unsetenv("TAPERLY_AUDIO_INPUT");

    double largest_gap = 0;
    for (std::size_t at = 1; at < times.size(); ++at) {
        if (times[at] > frozen_from && times[at - 1] < thawed_at) {
            largest_gap = std::max(largest_gap, times[at] - times[at - 1]);
        }
    }
    std::printf(
        "largest gap between polls while frozen: %.0f ms; take ended %.2f s after it "
        "began\n",
        1000 * largest_gap, ended_after);
    EXPECT_LE(largest_gap, 2 * kPollPeriodMs / 1000.0) << "a poll waited on the sound server";
    EXPECT_LT(ended_after, 16.0 + 1.0) << "the take did not end at the scanner's word";
    EXPECT_EQ(shown, std::set<std::string>{"No sound input: take cut"});
    const std::string frozen = "State-Net_North_Frozen_10-00-00-AM_10-00-16-AM_12-05-2026.wav";
    ASSERT_EQ(folder.names(), (std::vector<std::string>{frozen, kSettingsFile, kTakesLog}));
    EXPECT_GE(measure_take(folder.file(frozen)).seconds, 0.5);
}

}  // namespace
}  // namespace taperly::e2e
