// Where takes begin and end on the real window, serial line and sound
// server, read sample by sample: the feed numbers every sample and sounds
// only during the scenario's transmissions, from the same instant as the
// scanner simulator, so each take tells which stretch of the feed it holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bench/scenario_plan.h"
#include "bench/take_reading.h"
#include "e2e/e2e_test.h"
#include "e2e/takes_log_reading.h"
#include "tools/launch/child_process.h"

namespace taperly::e2e {
namespace {

using bench::Transmission;
using testing::SimulatorSettings;
using testing::TempFolder;

constexpr int kRate = WaveFileWriter::kSampleRate;

std::string feed_pipe() {
    const char* folder = std::getenv("TAPERLY_SOUND_FOLDER");
    return folder ? std::string(folder) + "/feed.fifo" : "";
}

struct PreRollCase {
    const char* name;
    int speed;
    bool pre_roll;
    std::vector<Transmission> plan;
};

void PrintTo(const PreRollCase& c, std::ostream* out) {
    *out << c.name;
}

// What a take holds of the feed, in seconds after the scenario's start.
struct Held {
    double start = 0;
    double end = 0;
};

// The scanner simulator and the numbered feed playing one plan from the same
// instant, the feed sounding only during the plan's transmissions.
class WithFeed : public E2eTest {
  protected:
    void SetUp() override {
        E2eTest::SetUp();
        ASSERT_NE(feed_pipe(), "") << "TAPERLY_SOUND_FOLDER names no feed server";
    }
    void play(const std::vector<Transmission>& plan, int bits_per_second) {
        feed_folder_.write("windows.txt", bench::windows_text(plan));
        SimulatorSettings settings;
        settings.scenario = bench::scenario_text(plan, 1.5);
        settings.bits_per_second = bits_per_second;
        settings.start_now = true;
        start(settings);
        // The simulator's clock started as it named its line: the feed's too.
        const long long origin = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count();
        feed_ = std::make_unique<launch::ChildProcess>(std::vector<std::string>{
            TAPERLY_FEED, feed_pipe(), "22050", "--origin-ns", std::to_string(origin), "--windows",
            feed_folder_.file("windows.txt")});
    }

  private:
    TempFolder feed_folder_;
    std::unique_ptr<launch::ChildProcess> feed_;
};

class PreRollOnRealParts : public WithFeed, public ::testing::WithParamInterface<PreRollCase> {
  protected:
    void TearDown() override { unsetenv("TAPERLY_PREROLL"); }
};

TEST_P(PreRollOnRealParts, EachTakeHoldsItsWholeTransmissionAndNothingElse) {
    const PreRollCase& c = GetParam();
    if (!c.pre_roll) {
        setenv("TAPERLY_PREROLL", "0", 1);
    }
    TempFolder folder;
    play(c.plan, c.speed);
    E2eWindow window(folder.path(), c.speed);
    window.click_run_stop();
    ASSERT_EQ(window.caption(), "Stop") << window.status();
    for (std::size_t at = 0; at < c.plan.size(); ++at) {
        const int second = static_cast<int>(2 * at);
        ASSERT_TRUE(window.follow_take(on_test_day(10, 0, second), on_test_day(10, 0, second + 1)))
            << "transmission " << at + 1;
    }
    window.click_run_stop();

    std::vector<Held> takes;
    for (const std::string& name : folder.names()) {
        if (name == kSettingsFile || name == kTakesLog) {
            continue;
        }
        const bench::Recording recording = bench::read_recording(folder.file(name));
        ASSERT_EQ(recording.error, "") << name;
        const auto span = bench::take_span(recording.frames);
        ASSERT_TRUE(span.has_value()) << name << " holds nothing of the feed";
        takes.push_back(
            {static_cast<double>(span->start) / kRate, static_cast<double>(span->end) / kRate});
    }
    ASSERT_EQ(takes.size(), c.plan.size()) << "one take a transmission";
    std::sort(takes.begin(), takes.end(),
              [](const Held& a, const Held& b) { return a.start < b.start; });

    const double reach = pre_roll_seconds(c.speed);
    for (std::size_t at = 0; at < takes.size(); ++at) {
        const Transmission& own = c.plan[at];
        const Held& take = takes[at];
        std::printf("  take %zu: from %+.1f ms to %+.1f ms of its transmission\n", at + 1,
                    1000 * (take.start - own.start), 1000 * (take.end - own.end));
        if (c.pre_roll) {
            EXPECT_LE(take.start, own.start) << "take " << at + 1 << " misses its first sample";
            EXPECT_GE(take.start, own.start - reach) << "take " << at + 1 << " reaches too far";
        } else {
            EXPECT_GT(take.start, own.start) << "take " << at + 1 << " began before its Record";
        }
        EXPECT_GE(take.end, own.end) << "take " << at + 1 << " misses its last sample";
        if (at > 0) {
            EXPECT_GE(take.start, c.plan[at - 1].end)
                << "take " << at + 1 << " holds the one before";
        }
        if (at + 1 < c.plan.size()) {
            EXPECT_LE(take.end, c.plan[at + 1].start) << "take " << at + 1 << " holds the next";
        }
    }
}

// Transmissions 300 ms apart after three seconds of quiet, longer than the
// sound kept between takes.
const std::vector<Transmission> kBackToBack{{3.0, 4.0}, {4.3, 5.3}};

INSTANTIATE_TEST_SUITE_P(
    Cases, PreRollOnRealParts,
    ::testing::Values(PreRollCase{"BackToBackAt9600", 9600, true, kBackToBack},
                      PreRollCase{"BackToBackAt57600", 57600, true, kBackToBack},
                      PreRollCase{"OffStartsAtTheFirstRecord", 9600, false, {{3.0, 4.0}}}),
    [](const auto& info) { return std::string(info.param.name); });

// The pieces of a take's name "<texts>_<start>_<end>_<date>.wav".
struct NamedTimes {
    std::string start;
    std::string end;
};

NamedTimes times_in(const std::string& name) {
    const std::size_t date = name.rfind('_');
    const std::size_t end = name.rfind('_', date - 1);
    const std::size_t start = name.rfind('_', end - 1);
    return {name.substr(start + 1, end - start - 1), name.substr(end + 1, date - end - 1)};
}

class SplitOnRealParts : public WithFeed {
  protected:
    void TearDown() override { unsetenv("TAPERLY_MAX_TAKE_MINUTES"); }
};

// A call of 150 s with takes of at most a minute: three files, each named by
// its own start and end, that join sample for sample.
TEST_F(SplitOnRealParts, ALongCallBecomesTakesThatJoinExactly) {
    setenv("TAPERLY_MAX_TAKE_MINUTES", "1", 1);
    const std::vector<Transmission> plan{{2.0, 152.0}};
    TempFolder folder;
    play(plan, kFastSpeed);
    E2eWindow window(folder.path(), kFastSpeed);
    window.click_run_stop();
    ASSERT_EQ(window.caption(), "Stop") << window.status();
    // The clock the names are read from runs with the call.
    const QDateTime began = on_test_day(10, 0, 0);
    const auto started = std::chrono::steady_clock::now();
    std::set<std::string> shown;
    ASSERT_TRUE(window.follow_take(
        began, began,
        [&] {
            window.time.set(began.addMSecs(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::chrono::steady_clock::now() - started)
                                               .count()));
            shown.insert(window.status());
        },
        200000));
    window.click_run_stop();
    EXPECT_EQ(shown.count("Recording: long call split"), 1u) << "the split was not told";

    std::vector<std::string> names = folder.names();
    names.erase(std::remove(names.begin(), names.end(), kSettingsFile), names.end());
    names.erase(std::remove(names.begin(), names.end(), kTakesLog), names.end());
    ASSERT_EQ(names.size(), 3u);
    std::vector<std::pair<bench::TakeSpan, std::string>> parts;
    for (const std::string& name : names) {
        const bench::Recording recording = bench::read_recording(folder.file(name));
        ASSERT_EQ(recording.error, "") << name;
        const bench::Continuity continuity = bench::check_continuity(recording.frames);
        EXPECT_EQ(continuity.lost, 0) << name;
        EXPECT_EQ(continuity.duplicated, 0) << name;
        const auto span = bench::take_span(recording.frames);
        ASSERT_TRUE(span.has_value()) << name;
        parts.emplace_back(*span, name);
    }
    std::sort(parts.begin(), parts.end(),
              [](const auto& a, const auto& b) { return a.first.start < b.first.start; });
    EXPECT_LE(parts.front().first.start, static_cast<std::int64_t>(plan[0].start * kRate));
    EXPECT_GE(parts.back().first.end, static_cast<std::int64_t>(plan[0].end * kRate));
    for (std::size_t at = 0; at + 1 < parts.size(); ++at) {
        const auto& [span, name] = parts[at];
        const auto& [next_span, next_name] = parts[at + 1];
        std::printf("  %s: %.3f s\n", name.c_str(),
                    static_cast<double>(span.end - span.start) / kRate);
        EXPECT_EQ(span.end, next_span.start) << name << " and " << next_name << " do not join";
        EXPECT_EQ(times_in(name).end, times_in(next_name).start) << name << " / " << next_name;
        EXPECT_LE(span.end - span.start, static_cast<std::int64_t>(61 * kRate)) << name;
    }
    // The log tells each part in its turn: the first two as split, the last saved.
    const std::vector<std::string> rows = takes_log_rows(folder.path());
    ASSERT_EQ(rows.size(), parts.size());
    for (std::size_t at = 0; at < rows.size(); ++at) {
        std::vector<std::string> fields;
        std::istringstream row(rows[at]);
        for (std::string field; std::getline(row, field, '|');) {
            fields.push_back(field);
        }
        ASSERT_GE(fields.size(), 4u) << rows[at];
        EXPECT_EQ(fields[2], parts[at].second) << rows[at];
        EXPECT_EQ(fields[3], at + 1 < rows.size() ? "split" : "saved") << rows[at];
    }
}

}  // namespace
}  // namespace taperly::e2e
