// A long call split on the real recorder: while nothing is being recorded,
// no part ends, so the log gets no row for one.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "recorder/fake_input.h"
#include "recorder/takes/wave_file_writer.h"
#include "recorder/wave_recorder.h"
#include "recorder/wave_test_support.h"
#include "tracker_fixture.h"

namespace taperly {
namespace {

using testing::status_reply;

TEST(SplitTake, WhileTheInputIsGoneWritesNoRow) {
    testing::TempFolder folder;
    testing::FakePort port;
    testing::FakeClock clock;
    testing::FakeWindow window;
    testing::FakeTakeLog log;
    auto owned_input = std::make_unique<testing::FakeInput>();
    testing::FakeInput& input = *owned_input;
    WaveRecorder recorder(std::move(owned_input), std::make_unique<WaveFileWriter>(folder.path()));
    ReceptionTracker tracker(port, recorder, clock, window, folder.path());
    tracker.set_take_log(&log);
    tracker.set_longest_take(std::chrono::minutes(60));
    const auto reply = [&](bool heard) {
        port.arrive(status_reply("State Net", "North Ops", heard ? "0" : "1"));
        tracker.read_scanner_reply();
    };

    // A take ends and is saved: the recorder has ended a take before.
    reply(true);
    input.deliver(testing::numbered_frames(0, 2000));
    reply(false);
    ASSERT_EQ(log.entries.size(), 1u);

    clock.time = "9:10:00 PM";
    reply(true);
    input.deliver(testing::numbered_frames(0, 3000));
    input.die();
    input.present = false;
    reply(true);
    clock.steady += std::chrono::minutes(61);
    clock.time = "10:11:00 PM";
    reply(true);
    EXPECT_EQ(log.entries.size(), 1u) << "a row for a part never written";
    EXPECT_FALSE(tracker.take_split());

    clock.time = "10:11:05 PM";
    reply(false);
    ASSERT_EQ(log.entries.size(), 2u);
    EXPECT_EQ(log.entries[1].outcome, TakeOutcome::kSaved);
    EXPECT_EQ(log.entries[1].frames, 3000);
    // What it holds began at its start.
    EXPECT_EQ(log.entries[1].file_name,
              "State-Net_-_North-Ops_9-10-00-PM_10-11-05-PM_12-05-2026.wav");
}

}  // namespace
}  // namespace taperly
