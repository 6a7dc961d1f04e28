#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tracking/take_log.h"

namespace taperly {
namespace {

LocalTime at(int hour, int minute, int second, int offset_minutes) {
    return {"", {2026, 12, 5}, {hour, minute, second, offset_minutes * 60}};
}

TakeLogEntry take(TakeOutcome outcome, int offset_minutes = -5 * 60) {
    TakeLogEntry entry;
    entry.start = at(21, 5, 7, offset_minutes);
    entry.end = at(21, 5, 9, offset_minutes);
    // 1.543 s at the takes' 22050 frames a second.
    entry.frames = 34025;
    entry.file_name = "Metro_Tac-2_9-05-07-PM_9-05-09-PM_12-05-2026.wav";
    entry.outcome = outcome;
    entry.system = "Metro";
    entry.talkgroup = "Tac 2";
    entry.peak = 16384;
    return entry;
}

struct RowCase {
    const char* what;
    TakeLogEntry entry;
    std::string row;
};

std::vector<RowCase> row_cases() {
    const std::string name = "Metro_Tac-2_9-05-07-PM_9-05-09-PM_12-05-2026.wav";
    const std::string times = "2026-12-05T21:05:07-05:00,2026-12-05T21:05:09-05:00,1.543,";
    std::vector<RowCase> cases{
        {"saved, west of UTC", take(TakeOutcome::kSaved),
         times + name + ",saved,Metro,,Tac 2,,,-6.0\r\n"},
        {"name taken", take(TakeOutcome::kNameTaken),
         times + name + ",name taken,Metro,,Tac 2,,,-6.0\r\n"},
        {"split", take(TakeOutcome::kSplit), times + name + ",split,Metro,,Tac 2,,,-6.0\r\n"},
        {"east of UTC by a part of an hour, full scale", take(TakeOutcome::kSaved, 5 * 60 + 30),
         "2026-12-05T21:05:07+05:30,2026-12-05T21:05:09+05:30,1.543," + name +
             ",saved,Metro,,Tac 2,,,0.0\r\n"},
        {"texts that hold commas, quotes, line ends and letters beyond ASCII",
         take(TakeOutcome::kSaved),
         times + name +
             ",saved,\"Fire, EMS\",\"Tac \"\"A\"\"\",\"two\r\nlines\",Zürich,–,-6.0\r\n"},
        {"not saved, and silence has no level", take(TakeOutcome::kNotSaved),
         times + name + ",\"not saved: No space left on device, or so\",Metro,,Tac 2,,,\r\n"},
        {"recovered: the start its name told, without an offset",
         recovered_take_entry("unfinished_9-05-07-PM_12-05-2026.wav", "9-05-07-PM_12-05-2026",
                              44100),
         "2026-12-05T21:05:07,,2.000,unfinished_9-05-07-PM_12-05-2026.wav,recovered,,,,,,\r\n"},
        {"recovered with a day half the name does not spell plainly",
         recovered_take_entry("unfinished_오후-9-05-07_12-05-2026.wav", "오후-9-05-07_12-05-2026",
                              4),
         ",,0.000,unfinished_오후-9-05-07_12-05-2026.wav,recovered,,,,,,\r\n"},
    };
    cases[3].entry.peak = 32768;
    cases[4].entry.system = "Fire, EMS";
    cases[4].entry.group = "Tac \"A\"";
    cases[4].entry.talkgroup = "two\r\nlines";
    cases[4].entry.display_line1 = "Zürich";
    cases[4].entry.display_line2 = "–";
    cases[5].entry.reason = "No space left on device, or so";
    cases[5].entry.peak = 0;
    return cases;
}

TEST(TakeLogRow, IsOneCsvRowOfTheTake) {
    for (const RowCase& row_case : row_cases()) {
        EXPECT_EQ(take_log_row(row_case.entry), row_case.row) << row_case.what;
    }
}

}  // namespace
}  // namespace taperly
