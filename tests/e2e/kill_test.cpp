// Taperly killed with SIGKILL in the middle of a take: the hidden file it was
// recording into still plays back what was recorded.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "e2e/e2e_window.h"
#include "support/temp_folder.h"

namespace taperly::e2e {
namespace {

using testing::SimulatorProcess;
using testing::SimulatorSettings;
using testing::TempFolder;
using testing::wait_until;

// The window driver running on its own, killed when this goes away.
class WindowProcess {
  public:
    explicit WindowProcess(const std::string& folder) {
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) {
                ::_exit(126);
            }
            ::execl(TAPERLY_WINDOW_DRIVER, TAPERLY_WINDOW_DRIVER, folder.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~WindowProcess() { kill(); }
    WindowProcess(const WindowProcess&) = delete;
    WindowProcess& operator=(const WindowProcess&) = delete;

    bool started() const { return pid_ > 0; }
    // Ends it with SIGKILL; its exit status.
    int kill() {
        if (pid_ <= 0) {
            return status_;
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status_, 0);
        pid_ = -1;
        return status_;
    }
    // Whether it is still running (it has not crashed or quit).
    bool running() const { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }

  private:
    pid_t pid_ = -1;
    int status_ = 0;
};

std::uintmax_t hidden_take_bytes(const TempFolder& folder) {
    const std::vector<std::string> hidden = temporary_takes(folder.names());
    std::error_code ignored;
    return hidden.empty() ? 0 : std::filesystem::file_size(folder.file(hidden[0]), ignored);
}

TEST(KilledMidTake, HiddenTakePlaysBackWhatWasRecorded) {
    ASSERT_TRUE(sound_server_answers()) << "no test sound server: run through CTest";
    TempFolder folder;
    // COM1 at 57600 bit/s, polled every 100 ms.
    folder.write(kSettingsFile, "0\r\n3\r\n100\r\n");
    SimulatorSettings settings;
    settings.bits_per_second = 57600;
    settings.scenario =
        "0.4 | State Net | SCAN | no\n"
        "30 | State Net | North Ops | yes | State Net | North | Killed\n";
    SimulatorProcess simulator(settings);
    simulator.point_com_port(1);

    WindowProcess taperly(folder.path());
    ASSERT_TRUE(taperly.started());
    const std::uintmax_t one_second = 44 + 2 * WaveFileWriter::kSampleRate;
    ASSERT_TRUE(wait_until([&] { return hidden_take_bytes(folder) > one_second; },
                           std::chrono::seconds(15)))
        << "no take grew to a second";
    ASSERT_TRUE(taperly.running());
    const int status = taperly.kill();
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    const std::vector<std::string> names = folder.names();
    const std::vector<std::string> hidden = temporary_takes(names);
    ASSERT_EQ(hidden.size(), 1u);
    EXPECT_EQ(names.size(), 2u) << "the settings and the hidden take, nothing else";
    const TakeSound sound = measure_take(folder.file(hidden[0]));
    std::printf("killed after %ju bytes; the hidden take plays %.3f s at %.1f Hz\n",
                hidden_take_bytes(folder), sound.seconds, sound.frequency);
    ASSERT_TRUE(sound.readable);
    // Over a second was written; the header may lag by the last piece only.
    EXPECT_GT(sound.seconds, 0.5);
    EXPECT_NEAR(sound.frequency, kToneHz, kToneHz * 0.02);
}

}  // namespace
}  // namespace taperly::e2e
