// The WASAPI twin on real parts: under Wine, whose PulseAudio driver plays
// on the private test sound server's default output, three takes are
// played back to back; wine_playback_test.sh records that output's monitor
// on the Linux side into the file TAPERLY_MONITOR_FILE names, and what it
// heard is read here once the list is played out.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "playback/heard_tones.h"
#include "playback/make_take_player.h"
#include "support/temp_folder.h"

namespace taperly {
namespace {

using namespace std::chrono_literals;
using Mode = PlayerState::Mode;

std::vector<std::int16_t> monitor_heard() {
    const char* file = std::getenv("TAPERLY_MONITOR_FILE");
    EXPECT_NE(file, nullptr) << "run by wine_playback_test.sh, which records the monitor";
    if (file == nullptr) {
        return {};
    }
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

TEST(WasapiPlayback, TakesAreHeardBackToBackOnTheDefaultOutput) {
    testing::TempFolder folder;
    std::vector<PlayItem> items;
    const char* names[] = {"a.wav", "b.flac", "c.wav"};
    for (int i = 0; i < 3; ++i) {
        items.push_back(
            {testing::tone_take(folder.path(), names[i], testing::kFrequencies[i]), i + 1});
    }
    const auto player = make_take_player();
    player->play(items);
    bool played = false;
    PlayerState state;
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!(played && state.mode == Mode::kStopped) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
        state = player->state();
        played = played || state.mode == Mode::kPlaying;
        ASSERT_EQ(state.problem, "");
    }
    ASSERT_TRUE(played && state.mode == Mode::kStopped) << "the list was not played out";
    // What Wine and the server still held reaches the monitor's file.
    std::this_thread::sleep_for(1500ms);
    testing::expect_back_to_back(testing::tones_heard(monitor_heard()), 1.0);
}

}  // namespace
}  // namespace taperly
