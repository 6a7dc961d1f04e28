// Where a take begins when capture runs between takes: the ring's rules,
// driven through the recorder with a fake input and a fake clock.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "recorder/fake_input.h"
#include "recorder/recorder_orders.h"
#include "recorder/takes/wave_file_writer.h"
#include "recorder/wave_recorder.h"
#include "recorder/wave_test_support.h"
#include "support/temp_folder.h"

namespace taperly {
namespace {

using std::chrono::milliseconds;
using testing::FakeInput;
using testing::numbered_frames;
using testing::read_wave;
using testing::TempFolder;

constexpr milliseconds kMargin{20};
constexpr milliseconds kReach{440};

struct Step {
    enum class Kind { kDeliver, kPending, kQuiet, kRecord, kFinish };
    Kind kind;
    // kDeliver: frames numbered from `first`, `count` of them, the newest
    // captured at `at`; kPending: the same, captured but handed over only
    // when the recorder asks for it; kQuiet: the scanner heard nothing in a reply sent at
    // `at`; kRecord: "Open" and "Record" with the clock at `at`.
    long long at = 0;
    int first = 0;
    int count = 0;
};

Step deliver(int first, int count, long long at) {
    return {Step::Kind::kDeliver, at, first, count};
}
Step pending(int first, int count, long long at) {
    return {Step::Kind::kPending, at, first, count};
}
Step quiet(long long sent) {
    return {Step::Kind::kQuiet, sent};
}
Step record(long long at) {
    return {Step::Kind::kRecord, at};
}
Step finish() {
    return {Step::Kind::kFinish};
}

struct Take {
    int first;
    int count;
};

struct PreRollRow {
    const char* name;
    bool enabled;
    std::vector<Step> steps;
    std::vector<Take> takes;
    // How often capture was started over the row.
    int starts;
};

void PrintTo(const PreRollRow& row, std::ostream* out) {
    *out << row.name;
}

class PreRollTable : public ::testing::TestWithParam<PreRollRow> {};

TEST_P(PreRollTable, TakesBeginWhereTheRulesSay) {
    const PreRollRow& row = GetParam();
    TempFolder folder;
    milliseconds now{0};
    PreRollSettings settings{row.enabled, kMargin, [&now] { return now; }, milliseconds(1000)};
    auto owned_input = std::make_unique<FakeInput>();
    FakeInput* input = owned_input.get();
    WaveRecorder recorder(std::move(owned_input), std::make_unique<WaveFileWriter>(folder.path()),
                          settings);
    recorder.listen_between_takes(kReach);
    int saved = 0;
    for (const Step& step : row.steps) {
        switch (step.kind) {
            case Step::Kind::kDeliver:
                input->deliver(numbered_frames(step.first, step.count), step.at);
                break;
            case Step::Kind::kPending:
                input->pending = numbered_frames(step.first, step.count);
                input->pending_at = milliseconds(step.at);
                break;
            case Step::Kind::kQuiet:
                recorder.heard_nothing_at(milliseconds(step.at));
                break;
            case Step::Kind::kRecord:
                now = milliseconds(step.at);
                open_and_record(recorder);
                break;
            case Step::Kind::kFinish:
                recorder.Command("stop");
                recorder.setFileName("take" + std::to_string(++saved) + ".wav");
                recorder.Command("save");
                recorder.Command("close");
                break;
        }
    }
    ASSERT_EQ(static_cast<std::size_t>(saved), row.takes.size());
    for (std::size_t at = 0; at < row.takes.size(); ++at) {
        const std::string name = "take" + std::to_string(at + 1) + ".wav";
        EXPECT_EQ(read_wave(folder.file(name)).samples,
                  numbered_frames(row.takes[at].first, row.takes[at].count))
            << name;
    }
    EXPECT_EQ(input->starts, row.starts);
}

// Frames come at 22050 a second: 22.05 a millisecond, counted back from the
// newest. The margin is 20 ms, the reach 440 ms.
INSTANTIATE_TEST_SUITE_P(
    Rules, PreRollTable,
    ::testing::Values(
        // From 900 - 20 ms to the newest at 1000 ms: 2646 frames and the newest.
        PreRollRow{"BeginsWhereTheScannerLastHeardNothing",
                   true,
                   {deliver(0, 11025, 1000), quiet(900), record(1000), deliver(11025, 100, 1005),
                    finish()},
                   {{8378, 2747}},
                   1},
        // From 1000 - 440 - 20 ms: a long quiet opens no take with all of it.
        PreRollRow{"ALongQuietIsCutAtTheReach",
                   true,
                   {deliver(0, 11025, 1000), quiet(100), record(1000), finish()},
                   {{881, 10144}},
                   1},
        PreRollRow{"NoQuietReplyHeardReachesBackNoFurther",
                   true,
                   {deliver(0, 11025, 1000), record(1000), finish()},
                   {{881, 10144}},
                   1},
        // The ring holds 960 ms (21168 frames): 30000 wrap around it.
        PreRollRow{"WrappedAroundTheRingInPieces",
                   true,
                   {deliver(0, 10000, 500), deliver(10000, 10000, 800), deliver(20000, 10000, 1000),
                    quiet(0), record(1000), finish()},
                   {{19856, 10144}},
                   1},
        PreRollRow{"MoreThanTheRingHoldsAtOnceKeepsTheNewest",
                   true,
                   {deliver(0, 30000, 1000), quiet(0), record(1000), finish()},
                   {{19856, 10144}},
                   1},
        // The reply that ended the first take was sent before its "stop":
        // the second take still holds only what came after it.
        PreRollRow{"NothingFromBeforeThePreviousTakeEnded",
                   true,
                   {deliver(0, 2205, 100), quiet(50), record(100), deliver(2205, 100, 105),
                    quiet(110), finish(), deliver(2305, 2205, 205), record(210), finish()},
                   {{661, 1644}, {2305, 2205}},
                   1},
        // It ended with a reply sent at 160 ms: 441 frames captured after
        // 180 ms go to the next take instead.
        PreRollRow{"ATakeEndsWhereTheScannerSaidItHeardNothing",
                   true,
                   {deliver(0, 2205, 100), quiet(50), record(100), deliver(2205, 1103, 150),
                    pending(3308, 1103, 200), quiet(160), finish(), deliver(4411, 2205, 300),
                    record(300), finish()},
                   {{661, 3309}, {3970, 2646}},
                   1},
        // Sound captured up to 200 ms came before the reply sent at 160 ms
        // was handled: the take still ends at 180 ms, and what came after is
        // the next take's alone.
        PreRollRow{"SoundDeliveredBeforeTheClosingReplyIsCutAtItsMoment",
                   true,
                   {deliver(0, 2205, 100), quiet(50), record(100), deliver(2205, 2205, 200),
                    quiet(160), finish(), deliver(4410, 2205, 300), record(300), finish()},
                   {{661, 3308}, {3969, 2646}},
                   1},
        // Sound captured from 500 ms on comes only after the take began at
        // 880 ms: what of it is older than that is cut all the same.
        PreRollRow{"SoundDeliveredAfterTheTakeBeganIsCutAtItsStart",
                   true,
                   {deliver(0, 11025, 500), quiet(900), record(1000), deliver(11025, 11025, 1000),
                    finish()},
                   {{19403, 2647}},
                   1},
        PreRollRow{
            "OffEachTakeBeginsAtItsFirstRecord",
            false,
            {deliver(0, 11025, 1000), quiet(900), record(1000), deliver(11025, 100, 1005), finish(),
             deliver(20000, 50, 1100), record(1200), deliver(20050, 10, 1205), finish()},
            {{11025, 100}, {20050, 10}},
            2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PreRollInput, AnInputThatDiesBetweenTakesIsToldAtOnceAndLookedForAgain) {
    TempFolder folder;
    milliseconds now{0};
    auto owned_input = std::make_unique<FakeInput>();
    FakeInput* input = owned_input.get();
    WaveRecorder recorder(std::move(owned_input), std::make_unique<WaveFileWriter>(folder.path()),
                          {true, kMargin, [&now] { return now; }, milliseconds(1000)});
    recorder.listen_between_takes(kReach);
    ASSERT_EQ(recorder.trouble().kind, RecorderTrouble::Kind::kNone);
    input->die();
    EXPECT_EQ(recorder.trouble().kind, RecorderTrouble::Kind::kNoInput);
    input->fail_start = true;
    now = milliseconds(1000);
    recorder.heard_nothing_at(now);
    EXPECT_EQ(recorder.trouble().kind, RecorderTrouble::Kind::kNoInput);
    input->fail_start = false;
    now = milliseconds(1500);
    recorder.heard_nothing_at(now);
    EXPECT_EQ(input->starts, 1) << "looked for again sooner than a second later";
    now = milliseconds(2000);
    recorder.heard_nothing_at(now);
    EXPECT_EQ(input->starts, 2);
    EXPECT_EQ(recorder.trouble().kind, RecorderTrouble::Kind::kNone);
    recorder.stop_listening();
    EXPECT_FALSE(input->running()) << "capture ran on after the run";
}

}  // namespace
}  // namespace taperly
