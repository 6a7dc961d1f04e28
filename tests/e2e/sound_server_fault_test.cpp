// The sound server dies in the middle of a take, is missing for the next
// one and comes back, under the real window; the server is this test's own, started for it alone.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "e2e/e2e_window.h"
#include "support/temp_folder.h"

namespace taperly::e2e {
namespace {

using testing::SimulatorProcess;
using testing::SimulatorSettings;
using testing::TempFolder;

constexpr int kSpeed = 57600;

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

TEST(SoundServerFault, DiesMidTakeIsNamedWhileMissingAndLaterTakesRecordAgain) {
    ASSERT_NE(server_folder(), "") << "TAPERLY_SOUND_FOLDER names no server of this test's own";
    const pid_t server = server_pid();
    ASSERT_GT(server, 0);
    ASSERT_TRUE(sound_server_answers()) << "the test's own server is not running";

    TempFolder folder;
    SimulatorSettings settings;
    settings.bits_per_second = kSpeed;
    settings.scenario =
        "0.4 | State Net | SCAN | no\n"
        "2.0 | State Net | North Ops | yes | State Net | North | Dies\n"
        "1.5 | State Net | SCAN | no\n"
        "1.5 | State Net | North Ops | yes | State Net | North | Unheard\n"
        "2.5 | State Net | SCAN | no\n"
        "1.0 | State Net | North Ops | yes | State Net | North | Back\n"
        "0.5 | State Net | SCAN | no\n";
    SimulatorProcess simulator(settings);
    simulator.point_com_port(1);
    E2eWindow window(folder.path(), kSpeed);
    window.click_run_stop();

    window.time.set(on_test_day(10, 0, 0));
    ASSERT_TRUE(E2eWindow::wait_for([&] { return window.take_in_progress(); }));
    // Half a second of sound, then the server goes.
    const std::uintmax_t half_second = 44 + WaveFileWriter::kSampleRate;
    ASSERT_TRUE(E2eWindow::wait_for([&] { return recorded_bytes(folder) > half_second; }));
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
    std::vector<std::string> expected{kSettingsFile, dies, back};
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

}  // namespace
}  // namespace taperly::e2e
