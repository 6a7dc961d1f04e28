// The clock rule of keeping takes: a take is removed only once it is older
// than the days kept by the wall clock and has been watched that long in
// real time, so that no clock set back or forward, no dead clock battery,
// no restart and no edited log removes a take of the last days.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "keeping/takes_keeping.h"
#include "keeping_support.h"
#include "support/temp_folder.h"
#include "tracking/take_log_file.h"
#include "tracking/take_naming.h"

namespace taperly {
namespace {

using namespace testing;
using std::chrono::hours;

enum class Edit { kNone, kByteOrderMark, kFirstRowDropped };

struct Step {
    enum class Kind { kTake, kPass, kRestart, kEdit } kind;
    // When a take was stamped, or what the wall clock says at a pass.
    CalendarDate date{};
    // The steady clock of the run at a pass: it counts from anywhere (the
    // computer's start), and from anywhere again after a restart.
    hours steady{0};
    Edit edit = Edit::kNone;
};

Step take(CalendarDate stamped) {
    return {Step::Kind::kTake, stamped};
}
Step pass(CalendarDate wall, hours steady) {
    return {Step::Kind::kPass, wall, steady};
}
Step restart() {
    return {Step::Kind::kRestart};
}
Step edit(Edit how) {
    return {Step::Kind::kEdit, {}, hours(0), how};
}

struct ClockCase {
    const char* what;
    std::vector<Step> steps;
    bool removed;
};

std::vector<ClockCase> cases() {
    const CalendarDate november{2026, 11, 1};
    const hours day = kDay;
    return {
        {"old by both clocks",
         {take(november), pass(november, day * 0), pass({2026, 12, 2}, day * 31)},
         true},
        {"the clock set forward a year now",
         {take(november), pass(november, day * 0), pass({2027, 11, 1}, hours(1))},
         false},
        {"recorded with the clock set back a year, the clock right again now",
         {pass({2025, 11, 1}, day * 0), take({2025, 11, 1}), pass(november, hours(1))},
         false},
        {"stamped 2000 by a dead clock battery, the clock set a week later",
         {pass({2000, 1, 1}, day * 0), take({2000, 1, 1}), pass(november, day * 7)},
         false},
        {"stamped 2000 by a dead clock battery, then watched for the days kept",
         {pass({2000, 1, 1}, day * 0), take({2000, 1, 1}), pass(november, day * 7),
          pass({2026, 12, 5}, day * 38)},
         true},
        {"stamped a year ahead by the clock then",
         {pass(november, day * 0), take({2027, 11, 1}), pass({2026, 12, 2}, day * 31)},
         false},
        {"restarted: the time Taperly was not running is not counted",
         {take(november), pass(november, day * 0), restart(), pass({2026, 12, 15}, day * 45)},
         false},
        {"restarted: the time watched before goes on counting",
         {take(november), pass(november, day * 0), pass({2026, 11, 16}, day * 15), restart(),
          pass({2026, 11, 20}, day * 100), pass({2026, 12, 6}, day * 116)},
         true},
        {"the log saved again with a byte-order mark",
         {take(november), pass(november, day * 0), edit(Edit::kByteOrderMark),
          pass({2026, 12, 2}, day * 31)},
         false},
        {"the log saved again with a byte-order mark, then watched for the days kept",
         {take(november), pass(november, day * 0), edit(Edit::kByteOrderMark),
          pass({2026, 12, 2}, day * 31), pass({2027, 1, 3}, day * 62)},
         true},
        {"a row deleted from the log",
         {take(november), take(november), pass(november, day * 0), edit(Edit::kFirstRowDropped),
          pass({2026, 12, 2}, day * 31)},
         false},
    };
}

void change(const std::string& log, Edit how) {
    std::string text = read_file(log);
    if (how == Edit::kByteOrderMark) {
        text = "\xEF\xBB\xBF" + text;
    } else {
        const std::size_t header_end = text.find('\n') + 1;
        text.erase(header_end, text.find('\n', header_end) + 1 - header_end);
    }
    write_file(log, text);
}

TEST(KeepingClock, RemovesOnlyTakesWatchedAsLongAsTheWallClockSays) {
    for (const ClockCase& c : cases()) {
        TempFolder folder;
        TakeLogFile log(folder.path());
        std::atomic<bool> ending = false;
        auto keeping = std::make_unique<TakesKeeping>(folder.path(), kKeepDays, log);
        std::vector<std::string> takes;
        for (const Step& step : c.steps) {
            switch (step.kind) {
                case Step::Kind::kTake: {
                    const std::string name = "Metro_Ops_T" + std::to_string(takes.size()) +
                                             "_9-05-07-PM_9-05-31-PM_" + date_text(step.date) +
                                             ".wav";
                    folder.write(name, take_bytes(name));
                    log.add(row_of(name, TakeOutcome::kSaved, step.date));
                    takes.push_back(name);
                    break;
                }
                case Step::Kind::kPass:
                    EXPECT_EQ(keeping->pass(noon(step.date), steady(step.steady), ending).trouble,
                              "")
                        << c.what;
                    break;
                case Step::Kind::kRestart:
                    keeping = std::make_unique<TakesKeeping>(folder.path(), kKeepDays, log);
                    break;
                case Step::Kind::kEdit:
                    change(log.path(), step.edit);
                    break;
            }
        }
        for (const std::string& name : takes) {
            EXPECT_EQ(std::filesystem::exists(utf8_path(folder.file(name))), !c.removed) << c.what;
        }
    }
}

}  // namespace
}  // namespace taperly
