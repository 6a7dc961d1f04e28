// Takes heard on real parts: three takes the program's own take writer
// made (one of them FLAC), quiet before and after their tones, are played
// on the private test sound server's default output, and its monitor hears
// them back to back, in order, with at most half a second between them, at
// 1x and at 2x, the pitch as it was.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <memory>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "playback/make_take_player.h"
#include "recorder/capture/pulse_capture.h"
#include "recorder/capture/pulse_pace.h"
#include "recorder/sound_test_support.h"
#include "recorder/takes/flac_saver.h"
#include "recorder/takes/wave_file_writer.h"
#include "support/temp_folder.h"

namespace taperly {
namespace {

using namespace std::chrono_literals;
using Mode = PlayerState::Mode;

constexpr int kRate = 22050;
constexpr double kTakeSeconds = 1.5;
// Quiet before and after each tone, as the pre-roll leaves it: heard whole,
// 0.7 s would lie between two tones; cut, 0.35 s.
constexpr double kQuietBefore = 0.6;
constexpr double kQuietAfter = 0.1;
constexpr double kFrequencies[] = {1000, 1500, 2000};

std::string tone_take(const std::string& folder, const std::string& name, double frequency) {
    auto flac = name.ends_with(".flac") ? std::make_unique<FlacSaver>() : nullptr;
    WaveFileWriter writer(folder, std::move(flac));
    EXPECT_TRUE(writer.begin(""));
    const auto quiet_before = static_cast<std::size_t>(kQuietBefore * kRate);
    std::vector<std::int16_t> frames(
        static_cast<std::size_t>((kQuietBefore + kTakeSeconds + kQuietAfter) * kRate));
    for (std::size_t i = 0; i < static_cast<std::size_t>(kTakeSeconds * kRate); ++i) {
        frames[quiet_before + i] = static_cast<std::int16_t>(
            std::lround(12000 * std::sin(2 * std::numbers::pi * frequency * i / kRate)));
    }
    writer.append(frames);
    EXPECT_NE(writer.save_as(name), TakeWriter::Saved::kFailed);
    // A FLAC take is stored by the time its writer is gone.
    return folder + "/" + name;
}

// A stretch of one tone heard on the monitor, in seconds of the recording.
struct Heard {
    double frequency;
    double begin;
    double end;
};

// The tones heard, 20 ms at a time: runs of loud windows nearest the same
// take's tone, and the pitch of each run measured over all of it but its
// edges, where one tone gives way to the next.
std::vector<Heard> tones_heard(const std::vector<std::int16_t>& samples) {
    constexpr std::size_t kWindow = kRate / 50;
    std::vector<Heard> runs;
    double last_tone = 0;
    for (std::size_t at = 0; at + kWindow <= samples.size(); at += kWindow) {
        const std::vector<std::int16_t> window(
            samples.begin() + static_cast<std::ptrdiff_t>(at),
            samples.begin() + static_cast<std::ptrdiff_t>(at + kWindow));
        const double frequency = testing::tone_frequency(window, kRate);
        double tone = 0;
        for (const double candidate : kFrequencies) {
            if (testing::rms(window) > 2000 && std::abs(frequency - candidate) < 0.1 * candidate) {
                tone = candidate;
            }
        }
        const double seconds = static_cast<double>(at) / kRate;
        if (tone != 0 && tone == last_tone && seconds - runs.back().end < 0.05) {
            runs.back().end = seconds + 0.02;
        } else if (tone != 0) {
            runs.push_back({tone, seconds, seconds + 0.02});
        }
        last_tone = tone;
    }
    std::erase_if(runs, [](const Heard& run) { return run.end - run.begin < 0.1; });
    for (Heard& run : runs) {
        const auto from = static_cast<std::ptrdiff_t>((run.begin + 0.05) * kRate);
        const auto to = static_cast<std::ptrdiff_t>((run.end - 0.05) * kRate);
        run.frequency =
            testing::tone_frequency({samples.begin() + from, samples.begin() + to}, kRate);
    }
    return runs;
}

// Plays the three takes at `speed` and returns what the monitor heard.
std::vector<std::int16_t> play_and_hear(double speed) {
    testing::TempFolder folder;
    std::vector<PlayItem> items;
    const char* names[] = {"a.wav", "b.flac", "c.wav"};
    for (int i = 0; i < 3; ++i) {
        items.push_back({tone_take(folder.path(), names[i], kFrequencies[i]), i + 1});
    }
    std::string problem;
    const auto monitor = PulseCapture::start("playback.monitor", kTakePace, 5s, problem);
    EXPECT_TRUE(monitor) << problem;
    if (!monitor) {
        return {};
    }
    std::vector<char> bytes;
    const auto player = make_take_player();
    player->set_speed(speed);
    player->play(items);
    bool played = false;
    const bool ended = testing::run_events_until(std::chrono::steady_clock::now() + 30s, [&] {
        const PlayerState state = player->state();
        played = played || state.mode == Mode::kPlaying;
        EXPECT_EQ(state.problem, "");
        return played && state.mode == Mode::kStopped;
    });
    EXPECT_TRUE(ended) << "the list was not played out";
    // What the server still held for the output reaches the monitor.
    testing::run_events_until(std::chrono::steady_clock::now() + 1s, [] { return false; });
    monitor->collect_now(1s);
    monitor->take(bytes);
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

void expect_back_to_back(const std::vector<Heard>& heard, double speed) {
    for (const Heard& run : heard) {
        std::cout << run.frequency << " Hz from " << run.begin << " s to " << run.end << " s\n";
    }
    ASSERT_EQ(heard.size(), 3u);
    for (std::size_t i = 0; i < heard.size(); ++i) {
        SCOPED_TRACE("take " + std::to_string(i + 1));
        EXPECT_NEAR(heard[i].frequency, kFrequencies[i], 0.03 * kFrequencies[i]);
        EXPECT_NEAR(heard[i].end - heard[i].begin, kTakeSeconds / speed, 0.1);
        if (i > 0) {
            EXPECT_LE(heard[i].begin - heard[i - 1].end, 0.5);
        }
    }
}

TEST(TakesHeard, BackToBackInOrderOnTheDefaultOutput) {
    const std::vector<Heard> heard = tones_heard(play_and_hear(1.0));
    expect_back_to_back(heard, 1.0);
}

TEST(TakesHeard, TwiceAsFastInHalfTheTimeAtTheSamePitch) {
    const std::vector<Heard> heard = tones_heard(play_and_hear(2.0));
    expect_back_to_back(heard, 2.0);
}

// No sound server: the player says so, and stays at its place.
TEST(NoServer, NoSoundOutputIsSaid) {
    testing::TempFolder folder;
    const std::string take = tone_take(folder.path(), "a.wav", 1000);
    const QByteArray server = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", ("unix:" + folder.path() + "/no-server").c_str());
    const auto player = make_take_player();
    player->play({{take, 7}});
    PlayerState state;
    EXPECT_TRUE(testing::run_events_until(std::chrono::steady_clock::now() + 20s, [&] {
        state = player->state();
        return !state.problem.empty();
    }));
    EXPECT_EQ(state.problem, "No sound output: the sound server is not running");
    EXPECT_EQ(state.mode, Mode::kPlaying);
    EXPECT_EQ(state.id, 7);
    // Still in the quiet before the tone: nothing was played on.
    EXPECT_LT(state.position_seconds, kQuietBefore);
    qputenv("PULSE_SERVER", server);
}

}  // namespace
}  // namespace taperly

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
