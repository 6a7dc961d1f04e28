// Taperly ended by the end of the desktop session or by Ctrl-C: the take in
// progress is saved under its whole name as Stop would save it, in FLAC mode
// as WAV at once, and the program ends with status 0.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "e2e/e2e_test.h"
#include "e2e/window_process.h"
#include "support/environment.h"
#include "tools/launch/child_process.h"

namespace taperly::e2e {
namespace {

using testing::TempFolder;
using testing::wait_until;

struct SignalCase {
    const char* name;
    int signal;
    // Sent during a long call, or after a short one was saved.
    bool mid_take;
    // Takes are stored as FLAC (TAPERLY_FORMAT=flac).
    bool flac = false;
};

void PrintTo(const SignalCase& c, std::ostream* out) {
    *out << c.name;
}

std::vector<std::string> saved_takes(const TempFolder& folder) {
    std::vector<std::string> takes;
    for (const std::string& name : folder.names()) {
        if ((name.ends_with(".wav") || name.ends_with(".flac")) && name.front() != '.') {
            takes.push_back(name);
        }
    }
    return takes;
}

// Whatever Taperly held hidden: takes being recorded, and FLAC files being encoded.
std::vector<std::string> hidden_files(const TempFolder& folder) {
    std::vector<std::string> hidden;
    for (const std::string& name : folder.names()) {
        if (name.starts_with(".taperly-")) {
            hidden.push_back(name);
        }
    }
    return hidden;
}

// Seconds of the day of a time as a take's name tells it ("07-33-20").
int second_of_day(const std::string& time) {
    return std::stoi(time.substr(0, 2)) * 3600 + std::stoi(time.substr(3, 2)) * 60 +
           std::stoi(time.substr(6, 2));
}

// The wall clock's second of the day, in the tests' pinned zone (UTC).
int second_of_day(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    return static_cast<int>(seconds % 86400);
}

// How far `later` is after `earlier` on a clock of one day, midnight passed.
int seconds_after(int earlier, int later) {
    return (later - earlier + 86400) % 86400;
}

// The take in progress was saved under its whole name, as Stop names it:
// its texts, its start, an end between `from` and `to`, and the date; as
// WAV, which an abrupt end stores also in FLAC mode.
void expect_whole_name(const std::string& name, const std::string& texts,
                       std::chrono::system_clock::time_point from,
                       std::chrono::system_clock::time_point to) {
    // "_hh-mm-ss_hh-mm-ss_mm-dd-yyyy.wav" after the texts. Read by hand: the
    // sanitized build's compiler warns inside <regex> itself.
    const std::string shape = "_dd-dd-dd_dd-dd-dd_dd-dd-dddd.wav";
    ASSERT_EQ(name.size(), texts.size() + shape.size()) << name;
    ASSERT_EQ(name.substr(0, texts.size()), texts) << name;
    const std::string tail = name.substr(texts.size());
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool fits = shape[i] == 'd' ? std::isdigit(static_cast<unsigned char>(tail[i])) != 0
                                          : tail[i] == shape[i];
        ASSERT_TRUE(fits) << name;
    }
    const int start = second_of_day(tail.substr(1, 8));
    const int end = second_of_day(tail.substr(10, 8));
    const int earliest = second_of_day(from) - 1;
    EXPECT_LT(seconds_after(start, end), 60) << name;
    EXPECT_LE(seconds_after(earliest, end), seconds_after(earliest, second_of_day(to)) + 1) << name;
}

// Whole frames in the hidden take now: what the saved take holds at least.
double hidden_seconds(const TempFolder& folder) {
    const std::uintmax_t bytes = hidden_take_bytes(folder.path(), folder.names());
    return bytes <= 44 ? 0 : static_cast<double>((bytes - 44) / 2) / WaveFileWriter::kSampleRate;
}

class EndedBySignal : public DriverTest, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(EndedBySignal, SavesTheTakeAsStopDoesAndExitsWithZero) {
    const SignalCase& c = GetParam();
    if (c.flac) {
        testing::set_environment("TAPERLY_FORMAT", "flac");
    }
    start(c.mid_take ? "0.4 | State Net | SCAN | no\n"
                       "30 | State Net | North Ops | yes | State Net | North | Ended\n"
                     : "0.4 | State Net | SCAN | no\n"
                       "1 | State Net | North Ops | yes | State Net | North | Short\n"
                       "60 | State Net | SCAN | no\n");

    WindowProcess taperly(folder.path(), true);
    testing::unset_environment("TAPERLY_FORMAT");
    ASSERT_TRUE(taperly.started());
    double recorded = 0;
    if (c.mid_take) {
        ASSERT_TRUE(
            wait_until([&] { return hidden_seconds(folder) > 1.0; }, std::chrono::seconds(15)))
            << "no take grew to a second";
        recorded = hidden_seconds(folder);
    } else {
        ASSERT_TRUE(
            wait_until([&] { return !saved_takes(folder).empty(); }, std::chrono::seconds(15)))
            << "the short call was not saved";
    }
    const std::vector<std::string> before = saved_takes(folder);
    const auto sent = std::chrono::steady_clock::now();
    const auto sent_at = std::chrono::system_clock::now();
    taperly.send(c.signal);

    const std::optional<int> status = taperly.wait_for_exit(std::chrono::seconds(15));
    ASSERT_TRUE(status.has_value()) << "still running after the signal";
    // Told, not tested: the machine's load decides it.
    std::printf(
        "%s: ended %.0f ms after the signal\n", c.name,
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sent).count());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "wait status " << *status;
    EXPECT_EQ(hidden_files(folder), std::vector<std::string>{});
    const std::vector<std::string> takes = saved_takes(folder);
    if (!c.mid_take) {
        EXPECT_EQ(takes, before) << "nothing was being recorded, so nothing more is saved";
        return;
    }
    ASSERT_EQ(takes.size(), 1u);
    expect_whole_name(takes[0], "State-Net_North_Ended", sent_at, std::chrono::system_clock::now());
    const TakeSound sound = measure_take(folder.file(takes[0]));
    std::printf("%s: %.3f s recorded at the signal, %.3f s saved as %s\n", c.name, recorded,
                sound.seconds, takes[0].c_str());
    ASSERT_TRUE(sound.readable);
    EXPECT_GE(sound.seconds, recorded);
    EXPECT_NEAR(sound.frequency, kToneHz, kToneHz * 0.02);
}

INSTANTIATE_TEST_SUITE_P(Signals, EndedBySignal,
                         ::testing::Values(SignalCase{"term_mid_take", SIGTERM, true},
                                           SignalCase{"int_mid_take", SIGINT, true},
                                           SignalCase{"hup_mid_take", SIGHUP, true},
                                           SignalCase{"hup_between_takes", SIGHUP, false},
                                           SignalCase{"term_mid_take_flac", SIGTERM, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// An X server of the test's own on a display of its own, as a desktop
// session's is; killing it is a logout that takes the display first.
class PrivateDisplay {
  public:
    PrivateDisplay() {
        int pipe[2];
        if (::pipe2(pipe, O_CLOEXEC) != 0) {
            return;
        }
        // The write end alone goes to Xvfb, which is told its number.
        ::fcntl(pipe[1], F_SETFD, 0);
        read_end_ = pipe[0];
        xvfb_ = std::make_unique<launch::ChildProcess>(
            std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(pipe[1]), "-nolisten",
                                     "tcp", "-screen", "0", "640x480x24"},
            ended_with_the_test());
        ::close(pipe[1]);
        // Read to the line's end and kept open: Xvfb ends itself when the
        // rest of its number cannot be written.
        std::string digits;
        pollfd ready{read_end_, POLLIN, 0};
        char got = 0;
        while (xvfb_->started() && ::poll(&ready, 1, 10000) == 1 &&
               ::read(read_end_, &got, 1) == 1 && got != '\n') {
            digits.push_back(got);
        }
        if (got == '\n' && !digits.empty()) {
            name_ = ":" + digits;
        }
    }
    ~PrivateDisplay() {
        kill();
        if (read_end_ >= 0) {
            ::close(read_end_);
        }
    }
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    // ":N", empty when it did not start.
    const std::string& name() const { return name_; }
    void kill() {
        if (xvfb_) {
            xvfb_->end_with(SIGKILL);
        }
    }

  private:
    static launch::ChildOptions ended_with_the_test() {
        launch::ChildOptions options;
        options.death_signal = SIGKILL;
        return options;
    }

    std::unique_ptr<launch::ChildProcess> xvfb_;
    int read_end_ = -1;
    std::string name_;
};

// Takes are stored as FLAC, or as WAV.
class BrokenDisplay : public DriverTest, public ::testing::WithParamInterface<bool> {};

TEST_P(BrokenDisplay, SavesTheTakeUnderItsWholeNameBeforeTaperlyEnds) {
    start(
        "0.4 | State Net | SCAN | no\n"
        "30 | State Net | North Ops | yes | State Net | North | Broken\n");
    PrivateDisplay display;
    ASSERT_NE(display.name(), "") << "Xvfb did not start";

    const std::string platform =
        std::getenv("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "";
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::setenv("DISPLAY", display.name().c_str(), 1);
    if (GetParam()) {
        ::setenv("TAPERLY_FORMAT", "flac", 1);
    }
    WindowProcess taperly(folder.path(), true);
    ::setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
    ::unsetenv("DISPLAY");
    ::unsetenv("TAPERLY_FORMAT");
    ASSERT_TRUE(taperly.started());
    ASSERT_TRUE(wait_until([&] { return hidden_seconds(folder) > 1.0; }, std::chrono::seconds(15)))
        << "no take grew to a second";
    const double recorded = hidden_seconds(folder);
    const auto killed_at = std::chrono::system_clock::now();
    display.kill();

    const std::optional<int> status = taperly.wait_for_exit(std::chrono::seconds(15));
    ASSERT_TRUE(status.has_value()) << "still running without its display";
    std::printf("without its display Taperly ended with wait status %d\n", *status);
    EXPECT_EQ(hidden_files(folder), std::vector<std::string>{}) << "the take was left to recovery";
    const std::vector<std::string> takes = saved_takes(folder);
    ASSERT_EQ(takes.size(), 1u);
    expect_whole_name(takes[0], "State-Net_North_Broken", killed_at,
                      std::chrono::system_clock::now());
    const TakeSound sound = measure_take(folder.file(takes[0]));
    ASSERT_TRUE(sound.readable);
    EXPECT_GE(sound.seconds, recorded);
    EXPECT_NEAR(sound.frequency, kToneHz, kToneHz * 0.02);
}

INSTANTIATE_TEST_SUITE_P(Formats, BrokenDisplay, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "flac" : "wav"; });

}  // namespace
}  // namespace taperly::e2e
