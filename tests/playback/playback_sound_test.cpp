// Takes heard on real parts: three takes the program's own take writer
// made (one of them FLAC), quiet before and after their tones, are played
// on the private test sound server's default output, and its monitor hears
// them back to back, in order, with at most half a second between them, at
// 1x and at 2x, the pitch as it was; the window is shown each take in turn.
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

#include "playback/heard_tones.h"
#include "playback/make_take_player.h"
#include "recorder/capture/pulse_capture.h"
#include "recorder/capture/pulse_pace.h"
#include "recorder/sound_test_support.h"
#include "support/temp_folder.h"

namespace taperly {
namespace {

using namespace std::chrono_literals;
using Mode = PlayerState::Mode;
using testing::expect_back_to_back;
using testing::Heard;
using testing::kFrequencies;
using testing::kQuietBefore;
using testing::tone_take;
using testing::tones_heard;

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
    // The monitor hears before anything is played: a monitor's first
    // sound comes a while after it is connected to.
    std::vector<char> bytes;
    testing::run_events_until(std::chrono::steady_clock::now() + 5s, [&] {
        monitor->collect_now(100ms);
        monitor->take(bytes);
        return bytes.size() > testing::kRate / 2;
    });
    const auto player = make_take_player();
    player->set_speed(speed);
    player->play(items);
    bool played = false;
    // The takes the window is shown playing, in turn: it follows the sound
    // heard, by what the server says its output still holds.
    std::vector<std::int64_t> shown;
    const bool ended = testing::run_events_until(std::chrono::steady_clock::now() + 30s, [&] {
        const PlayerState state = player->state();
        played = played || state.mode == Mode::kPlaying;
        if (state.mode == Mode::kPlaying && (shown.empty() || shown.back() != state.id)) {
            shown.push_back(state.id);
        }
        EXPECT_EQ(state.problem, "");
        return played && state.mode == Mode::kStopped;
    });
    EXPECT_TRUE(ended) << "the list was not played out";
    EXPECT_EQ(shown, (std::vector<std::int64_t>{1, 2, 3}));
    // What the server still held for the output reaches the monitor.
    testing::run_events_until(std::chrono::steady_clock::now() + 1s, [] { return false; });
    monitor->collect_now(1s);
    monitor->take(bytes);
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
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
