// The recorder against a real sound server: the private test server started
// by scripts/sound-server (1000 Hz on "tone_1000", the default input, and
// 440 Hz on "tone_440"), no server at all, and a server that freezes or
// dies mid-take.
// CTest runs each suite in its own process, as Qt's sound backend keeps its
// first connection for the life of a process.

#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

#include "recorder/recorder_orders.h"
#include "recorder/sound_recorder.h"
#include "recorder/sound_test_support.h"
#include "recorder/wave_test_support.h"
#include "support/temp_folder.h"

namespace taperly {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::read_wave;
using testing::run_events_until;
using testing::TempFolder;
using testing::tone_frequency;

constexpr int kRate = 22050;

// Paces the test's own scenario: the caller's orders come 200 ms apart.
void run_events_for(Clock::duration span) {
    run_events_until(Clock::now() + span, [] { return false; });
}

struct Take {
    testing::WaveContents wave;
    double seconds_recorded = 0;  // from the first "Record" to "stop"
    std::vector<std::string> files;
};

// A take as the program records one: open_and_record on every status reply,
// about every 200 ms, then stop, FileName, save, close.
Take record_take(Clock::duration length, const std::function<void()>& mid_take = {}) {
    TempFolder folder;
    auto recorder = make_sound_recorder(folder.path());
    const auto first_record = Clock::now();
    open_and_record(*recorder);
    EXPECT_EQ(recorder->Mode(), kModeRecording);
    bool interrupted = false;
    while (Clock::now() - first_record < length) {
        run_events_for(200ms);
        if (mid_take && !interrupted) {
            mid_take();
            interrupted = true;
        }
        open_and_record(*recorder);
    }
    recorder->Command("stop");
    Take take;
    take.seconds_recorded = std::chrono::duration<double>(Clock::now() - first_record).count();
    recorder->setFileName("take.wav");
    recorder->Command("save");
    recorder->Command("close");
    EXPECT_EQ(recorder->Mode(), kModeNotOpen);
    take.wave = read_wave(folder.file("take.wav"));
    take.files = folder.names();
    return take;
}

std::string sound_folder() {
    const char* folder = std::getenv("TAPERLY_SOUND_FOLDER");
    return folder ? folder : "";
}

void set_default_source(const std::string& name) {
    const std::string command = "pactl set-default-source " + name;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

class WithServer : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(std::system("pactl info >/dev/null 2>&1"), 0)
            << "no test sound server: run through CTest, which starts it";
    }
};

TEST_F(WithServer, RecordsTheDefaultInputWholeAndInTime) {
    const Take take = record_take(1500ms);
    ASSERT_TRUE(take.wave.readable);
    EXPECT_EQ(take.files, std::vector<std::string>{"take.wav"});
    EXPECT_EQ(take.wave.sample_rate, kRate);
    EXPECT_EQ(take.wave.channels, 1);
    const double seconds = static_cast<double>(take.wave.samples.size()) / kRate;
    std::printf("recorded %.3f s of sound in %.3f s\n", seconds, take.seconds_recorded);
    EXPECT_NEAR(seconds, take.seconds_recorded, 0.15);
    EXPECT_NEAR(tone_frequency(take.wave.samples, kRate), 1000, 20);
    const double peak = testing::rms(take.wave.samples) * std::sqrt(2.0);
    EXPECT_GT(peak, 4000) << "the tone is missing or faint";
    // The first moments may splice stale sound onto fresh; after that the
    // tone must run on unbroken.
    EXPECT_EQ(testing::tone_breaks(take.wave.samples, 1000, kRate, peak, kRate / 5),
              std::vector<std::size_t>{});
}

// Which input is recorded: the server's default, unless TAPERLY_AUDIO_INPUT
// names another by id or by part of its description.
struct InputRow {
    const char* name;
    const char* server_default;
    const char* chosen;  // TAPERLY_AUDIO_INPUT, or null
    double frequency;
};

void PrintTo(const InputRow& row, std::ostream* out) {
    *out << row.name;
}

class InputChoice : public WithServer, public ::testing::WithParamInterface<InputRow> {
  protected:
    void TearDown() override {
        unsetenv("TAPERLY_AUDIO_INPUT");
        set_default_source("tone_1000");
    }
};

TEST_P(InputChoice, RecordsTheChosenTone) {
    const InputRow& row = GetParam();
    set_default_source(row.server_default);
    if (row.chosen) {
        setenv("TAPERLY_AUDIO_INPUT", row.chosen, 1);
    }
    if (row.frequency == 0) {
        // Another input than the one asked for would record the wrong sound.
        TempFolder folder;
        auto recorder = make_sound_recorder(folder.path());
        // As at the choice of a speed: the input is looked for in the
        // background, and the take after it knows.
        warm_up_recorder(*recorder);
        run_events_for(300ms);
        open_and_record(*recorder);
        EXPECT_EQ(recorder->Mode(), kModeNotOpen);
        EXPECT_EQ(recorder->trouble().kind, RecorderTrouble::Kind::kNoInput);
        EXPECT_NE(recorder->trouble().detail.find(row.chosen), std::string::npos);
        return;
    }
    const Take take = record_take(600ms);
    ASSERT_TRUE(take.wave.readable);
    EXPECT_NEAR(tone_frequency(take.wave.samples, kRate), row.frequency, row.frequency * 0.02);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, InputChoice,
    ::testing::Values(InputRow{"ServerDefault440", "tone_440", nullptr, 440},
                      InputRow{"ServerDefault1000AfterSwitchBack", "tone_1000", nullptr, 1000},
                      InputRow{"ChosenById", "tone_1000", "tone_440", 440},
                      InputRow{"ChosenByDescription", "tone_440", "tone-1000.fifo", 1000},
                      InputRow{"UnknownChoiceRecordsNothing", "tone_440", "no such input", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WithServer, WarmUpLeavesNoFileAndNothingOpen) {
    TempFolder folder;
    auto recorder = make_sound_recorder(folder.path());
    warm_up_recorder(*recorder);
    run_events_for(100ms);
    EXPECT_EQ(recorder->Mode(), kModeNotOpen);
    EXPECT_EQ(folder.names(), std::vector<std::string>{});
}

TEST(NoServer, EveryOrderFailsSilently) {
    ASSERT_NE(std::system("pactl info >/dev/null 2>&1"), 0) << "a sound server is reachable";
    TempFolder folder;
    auto recorder = make_sound_recorder(folder.path());
    const auto started = Clock::now();
    warm_up_recorder(*recorder);
    EXPECT_EQ(recorder->Mode(), kModeNotOpen);
    // The warm-up's look for an input ends in the background.
    run_events_for(200ms);
    for (int reply = 0; reply < 3; ++reply) {
        open_and_record(*recorder);
        EXPECT_EQ(recorder->Mode(), kModeNotOpen);
    }
    recorder->Command("stop");
    recorder->setFileName("take.wav");
    recorder->Command("save");
    recorder->Command("close");
    std::printf("all orders without a server took %.1f ms\n",
                std::chrono::duration<double, std::milli>(Clock::now() - started).count());
    EXPECT_EQ(recorder->Mode(), kModeNotOpen);
    EXPECT_EQ(folder.names(), std::vector<std::string>{});
}

// The server that the fixture started for this suite alone.
pid_t own_server() {
    const std::string folder = sound_folder();
    EXPECT_FALSE(folder.empty()) << "TAPERLY_SOUND_FOLDER names no server of its own";
    pid_t server = 0;
    std::ifstream(folder + "/server.pid") >> server;
    // Its fixture starts the server once; a repeated run finds it killed.
    EXPECT_EQ(std::system("pactl info >/dev/null 2>&1"), 0) << "the server is not running";
    return server;
}

// Runs first: the server is thawed again for the next test. No order waits
// for a server that never answers; the take learns it has no input.
TEST(ServerTrouble, FrozenServerHoldsUpNoOrderAndRecordsNothing) {
    const pid_t server = own_server();
    ASSERT_GT(server, 0);
    TempFolder folder;
    auto recorder = make_sound_recorder(folder.path());
    ASSERT_EQ(kill(server, SIGSTOP), 0);
    Clock::duration longest{0};
    const auto ordered = [&](const std::function<void()>& orders) {
        const auto before = Clock::now();
        orders();
        longest = std::max(longest, Clock::now() - before);
    };
    for (int reply = 0; reply < 8; ++reply) {
        ordered([&] { open_and_record(*recorder); });
        run_events_for(200ms);
    }
    const RecorderTrouble trouble = recorder->trouble();
    const int mode = recorder->Mode();
    ordered([&] {
        recorder->Command("stop");
        recorder->setFileName("take.wav");
        recorder->Command("save");
        recorder->Command("close");
    });
    ASSERT_EQ(kill(server, SIGCONT), 0);
    std::printf("the longest order took %.1f ms with the server frozen\n",
                std::chrono::duration<double, std::milli>(longest).count());
    EXPECT_LT(longest, 50ms) << "an order waited on the frozen server";
    EXPECT_NE(mode, kModeRecording);
    EXPECT_EQ(trouble.kind, RecorderTrouble::Kind::kNoInput);
    EXPECT_EQ(folder.names(), std::vector<std::string>{});
}

TEST(ServerTrouble, KilledMidTakeKeepsWhatWasRecorded) {
    const pid_t server = own_server();
    ASSERT_GT(server, 0);

    double killed_after = 0;
    const auto started = Clock::now();
    const Take take = record_take(1200ms, [&] {
        run_events_for(400ms);
        killed_after = std::chrono::duration<double>(Clock::now() - started).count();
        ASSERT_EQ(kill(server, SIGKILL), 0);
    });
    ASSERT_TRUE(take.wave.readable);
    EXPECT_EQ(take.files, std::vector<std::string>{"take.wav"});
    const double seconds = static_cast<double>(take.wave.samples.size()) / kRate;
    std::printf("server killed after %.3f s; %.3f s saved\n", killed_after, seconds);
    EXPECT_GT(seconds, 0.3);
    EXPECT_LT(seconds, killed_after + 0.15);
    EXPECT_NEAR(tone_frequency(take.wave.samples, kRate), 1000, 20);
}

}  // namespace
}  // namespace taperly

// Its own main, as the recorder needs a Qt application; it takes the place
// of GoogleTest's.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    // The suites without a server, or with one to kill, run only when CTest
    // asks for them by name in a process of their own.
    if (::testing::GTEST_FLAG(filter) == "*") {
        ::testing::GTEST_FLAG(filter) = "WithServer.*:Inputs/InputChoice.*";
    }
    return RUN_ALL_TESTS();
}
