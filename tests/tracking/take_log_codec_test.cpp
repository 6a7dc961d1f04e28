// The takes log's codec: the exact rows written, every outcome and awkward
// text written and read back through the same tables, and the reader over
// what spreadsheets and power cuts make of the file.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tracking/take_log.h"
#include "tracking/take_log_codec.h"
#include "tracking/take_log_reader.h"

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
        {"saved, west of UTC, with its file's identity", take(TakeOutcome::kSaved),
         times + name + ",saved,Metro,,Tac 2,,,-6.0,88244,0123456789abcdef,2001\r\n"},
        {"name taken", take(TakeOutcome::kNameTaken),
         times + name + ",name taken,Metro,,Tac 2,,,-6.0,,,\r\n"},
        {"split", take(TakeOutcome::kSplit), times + name + ",split,Metro,,Tac 2,,,-6.0,,,\r\n"},
        {"east of UTC by a part of an hour, full scale", take(TakeOutcome::kSaved, 5 * 60 + 30),
         "2026-12-05T21:05:07+05:30,2026-12-05T21:05:09+05:30,1.543," + name +
             ",saved,Metro,,Tac 2,,,0.0,,,\r\n"},
        {"texts that hold commas, quotes, line ends and letters beyond ASCII",
         take(TakeOutcome::kSaved),
         times + name +
             ",saved,\"Fire, EMS\",\"Tac \"\"A\"\"\",\"two\r\nlines\",Zürich,–,-6.0,,,\r\n"},
        {"not saved, and silence has no level", take(TakeOutcome::kNotSaved),
         times + name + ",\"not saved: No space left on device, or so\",Metro,,Tac 2,,,,,,\r\n"},
        {"recovered: the start its name told, without an offset",
         recovered_take_entry("unfinished_9-05-07-PM_12-05-2026.wav", "9-05-07-PM_12-05-2026",
                              44100),
         "2026-12-05T21:05:07,,2.000,unfinished_9-05-07-PM_12-05-2026.wav,recovered,,,,,,,,,\r\n"},
        {"recovered with a day half the name does not spell plainly",
         recovered_take_entry("unfinished_오후-9-05-07_12-05-2026.wav", "오후-9-05-07_12-05-2026",
                              4),
         ",,0.000,unfinished_오후-9-05-07_12-05-2026.wav,recovered,,,,,,,,,\r\n"},
    };
    cases[0].entry.file_bytes = 88244;
    cases[0].entry.fingerprint = "0123456789abcdef";
    cases[0].entry.talkgroup_id = "2001";
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

TEST(TakeLogCodec, WritesOneCsvRowOfTheTake) {
    EXPECT_EQ(take_log_header(),
              "start,end,seconds,file,outcome,system,group,talkgroup,display line 1,display line "
              "2,peak dBFS,bytes,fingerprint,talkgroup_id\r\n");
    for (const RowCase& row_case : row_cases()) {
        EXPECT_EQ(take_log_row(row_case.entry), row_case.row) << row_case.what;
    }
}

TEST(TakeLogCodec, ReadsBackWhatItWrites) {
    struct Case {
        TakeOutcome outcome;
        std::string reason;
        std::string outcome_text;
    };
    const std::vector<Case> outcomes{
        {TakeOutcome::kSaved, "", "saved"},
        {TakeOutcome::kSaved, "FLAC (could not) be encoded", "saved (FLAC (could not) be encoded)"},
        {TakeOutcome::kSplit, "", "split"},
        {TakeOutcome::kSplit, "no FLAC here", "split (no FLAC here)"},
        {TakeOutcome::kNotSaved, "Read-only file system", "not saved: Read-only file system"},
        {TakeOutcome::kNameTaken, "", "name taken"},
        {TakeOutcome::kRecovered, "", "recovered"},
        {TakeOutcome::kRemoved, "", "removed"},
        {TakeOutcome::kKept, "changed since saved", "kept: changed since saved"},
    };
    std::string log = take_log_header();
    std::vector<TakeLogEntry> written;
    for (const RowCase& texts : row_cases()) {
        for (const Case& outcome : outcomes) {
            TakeLogEntry entry = texts.entry;
            entry.outcome = outcome.outcome;
            entry.reason = outcome.reason;
            EXPECT_NE(take_log_row(entry).find("," + outcome.outcome_text + ","), std::string::npos)
                << outcome.outcome_text;
            log += take_log_row(entry);
            written.push_back(entry);
        }
    }
    std::istringstream stream(log);
    TakeLogReader reader(stream);
    std::vector<std::string> fields;
    ASSERT_TRUE(reader.next(fields));
    EXPECT_FALSE(read_take_log_row(fields)) << "the header is no take's row";
    for (const TakeLogEntry& entry : written) {
        ASSERT_TRUE(reader.next(fields));
        const std::optional<TakeLogEntry> read = read_take_log_row(fields);
        ASSERT_TRUE(read) << take_log_row(entry);
        EXPECT_EQ(read->outcome, entry.outcome) << take_log_row(entry);
        EXPECT_EQ(read->reason, entry.reason);
        EXPECT_EQ(read->talkgroup, entry.talkgroup);
        EXPECT_EQ(read->talkgroup_id, entry.talkgroup_id);
        EXPECT_EQ(take_log_row(*read), take_log_row(entry));
    }
    EXPECT_FALSE(reader.next(fields));
}

TEST(TakeLogReader, ReadsWhatSpreadsheetsAndPowerCutsLeave) {
    struct Case {
        const char* what;
        std::string text;
        // Each row: its offset, ":", its fields joined by "|", and "…" when
        // it did not end with a line end.
        std::vector<std::string> rows;
        bool too_long = false;
    };
    const std::string row = "2026-12-05T21:05:07-05:00,,1.000,a.wav,saved";
    const std::vector<Case> cases{
        {"a byte-order mark and CRLF",
         "\xEF\xBB\xBFstart,end\r\n" + row + "\r\n",
         {"3:start|end", "14:2026-12-05T21:05:07-05:00||1.000|a.wav|saved"}},
        {"LF line ends",
         "start\n" + row + "\n",
         {"0:start", "6:2026-12-05T21:05:07-05:00||1.000|a.wav|saved"}},
        {"columns beyond the known ones",
         row + ",,,,,,,,,talkgroup id 4711,more\r\n",
         {"0:2026-12-05T21:05:07-05:00||1.000|a.wav|saved|||||||||talkgroup id 4711|more"}},
        {"line ends and quotes inside a field",
         "\"one\r\ntwo\",\"say \"\"hi\"\"\"\r\nnext\r\n",
         {"0:one\r\ntwo|say \"hi\"", "25:next"}},
        {"half a row a power cut left, inside quotes",
         row + "\r\n" + row + ",\"Fire, E",
         {"0:2026-12-05T21:05:07-05:00||1.000|a.wav|saved",
          "46:2026-12-05T21:05:07-05:00||1.000|a.wav|saved|Fire, E…"}},
        {"a stray quote joining the rest into one field",
         "a\r\n\"" + std::string(TakeLogReader::kLongestRow, 'x'),
         {"0:a"},
         true},
    };
    for (const Case& c : cases) {
        std::istringstream stream(c.text);
        TakeLogReader reader(stream);
        std::vector<std::string> fields;
        std::vector<std::string> rows;
        while (reader.next(fields)) {
            std::string told = std::to_string(reader.row_offset()) + ":";
            for (std::size_t at = 0; at < fields.size(); ++at) {
                told += (at == 0 ? "" : "|") + fields[at];
            }
            rows.push_back(told + (reader.row_ended() ? "" : "…"));
        }
        EXPECT_EQ(rows, c.rows) << c.what;
        EXPECT_EQ(reader.too_long(), c.too_long) << c.what;
    }
    // Extra columns do not keep a row from being read.
    const std::optional<TakeLogEntry> read =
        read_take_log_row({"", "2026-12-05T21:05:09+00:00", "1.000", "a.wav", "saved", "", "", "",
                           "", "", "", "12", "0123456789abcdef", "talkgroup id 4711"});
    ASSERT_TRUE(read);
    EXPECT_EQ(read->file_bytes, 12);
}

}  // namespace
}  // namespace taperly
