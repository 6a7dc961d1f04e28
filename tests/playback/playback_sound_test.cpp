// Takes heard on real parts: three takes the program's own take writer
// made (one of them FLAC), quiet before and after their tones, are played
// on the private test sound server's default output, and its monitor hears
// them back to back, in order, with at most half a second between them, at
// 1x and at 2x, the pitch as it was; the window is shown each take in turn.
// The Takes window's "play from here" drives the same player.
#include <gtest/gtest.h>

#include <QApplication>
#include <QItemSelectionModel>
#include <QTableView>
#include <QTest>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "archive/archive_fixture.h"
#include "playback/heard_tones.h"
#include "playback/make_take_player.h"
#include "recorder/capture/pulse_capture.h"
#include "recorder/capture/pulse_pace.h"
#include "recorder/sound_test_support.h"
#include "support/temp_folder.h"
#include "takes_window/takes_model.h"
#include "takes_window/takes_window.h"
#include "tracking/take_log_file.h"

namespace taperly {
namespace {

using namespace std::chrono_literals;
using Mode = PlayerState::Mode;
using testing::expect_back_to_back;
using testing::Heard;
using testing::kFrequencies;
using testing::kQuietAfter;
using testing::kQuietBefore;
using testing::tone_take;
using testing::tones_heard;

// How the list is started: given straight to the player, or by the Takes
// window. Gives the ids the window is shown playing, in order.
using Start = std::function<std::vector<std::int64_t>(TakePlayer&, const std::vector<PlayItem>&,
                                                      const std::string& folder)>;

std::vector<std::int64_t> play_straight(TakePlayer& player, const std::vector<PlayItem>& items,
                                        const std::string&) {
    player.play(items);
    return {1, 2, 3};
}

// The takes logged an hour apart, the window opened over their folder, the
// oldest selected (the list shows the newest first) and played from there.
std::unique_ptr<TakesWindow> window;
testing::TempFolder window_cache;
std::unique_ptr<TakeLogListeners> window_log;

std::vector<std::int64_t> play_from_the_window(TakePlayer& player,
                                               const std::vector<PlayItem>& items,
                                               const std::string& folder) {
    const char* starts[] = {"2026-12-06T09:00:00-05:00", "2026-12-06T10:00:00-05:00",
                            "2026-12-06T11:00:00-05:00"};
    window_log = std::make_unique<TakeLogListeners>(std::make_unique<TakeLogFile>(folder));
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string name = std::filesystem::path(items[i].path).filename().string();
        window_log->add(testing::saved_row(name, starts[i],
                                           kQuietBefore + testing::kTakeSeconds + kQuietAfter,
                                           testing::texts("Metro", "", "Fire Ops")));
    }
    TakesWindowParts parts;
    parts.folder = folder;
    parts.index_path = window_cache.file("index.sqlite");
    parts.log = window_log.get();
    parts.player = &player;
    parts.zone = std::make_shared<testing::NewYorkishZone>();
    parts.now = [] { return testing::at("2026-12-06T12:00:00-05:00"); };
    parts.now_seconds = [] { return testing::utc_at("2026-12-06T12:00:00-05:00"); };
    window = std::make_unique<TakesWindow>(std::move(parts));
    window->show();
    EXPECT_TRUE(QTest::qWaitFor([] { return window->model().rowCount() == 3; }, 10000));
    std::vector<std::int64_t> ids;
    for (const int row : {2, 1, 0}) {
        const ArchivedTake* take = window->model().take_at(row);
        EXPECT_NE(take, nullptr);
        ids.push_back(take != nullptr ? take->id : 0);
    }
    auto* table = window->findChild<QTableView*>("Takes");
    table->selectionModel()->setCurrentIndex(
        window->model().index(2, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QTest::mouseClick(window->findChild<QWidget*>("PlayFromHere"), Qt::LeftButton);
    return ids;
}

// Plays the three takes at `speed` and returns what the monitor heard.
std::vector<std::int16_t> play_and_hear(double speed, const Start& start = play_straight) {
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
    const std::vector<std::int64_t> expected = start(*player, items, folder.path());
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
    EXPECT_EQ(shown, expected);
    window.reset();
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

TEST(TakesHeard, TheTakesWindowPlaysFromTheOldestOn) {
    const std::vector<Heard> heard = tones_heard(play_and_hear(1.0, play_from_the_window));
    expect_back_to_back(heard, 1.0);
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
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
