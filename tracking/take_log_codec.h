#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tracking/take_log.h"

namespace taperly {

// The takes log's one codec: what every column and every outcome word is,
// written and read through the same two tables, so that what Taperly writes
// is what keeping takes, a list of takes or an uploader reads back. Columns
// are known by their place, not by the header's words, which a spreadsheet
// may have changed; a column added later goes at the end, where readers that
// do not know it pass it by.

// One column: its name in the header, how an entry is written into it, and
// how its text is read back into an entry (false when the text cannot be
// what Taperly writes there).
struct TakeLogColumn {
    const char* name;
    std::string (*write)(const TakeLogEntry& entry);
    bool (*read)(const std::string& text, TakeLogEntry& entry);
};
std::span<const TakeLogColumn> take_log_columns();

// Where the file's name and the outcome stand, for readers of a row's few fields.
inline constexpr std::size_t kTakeLogFileColumn = 3;
inline constexpr std::size_t kTakeLogOutcomeColumn = 4;

// One outcome: its word, how a reason follows it ("saved (why)", "not saved:
// why"; none for words that take no reason), whether the row's file is a
// take Taperly stored, and whether the row leaves the file of its name as it
// was before (a take not saved there).
struct TakeOutcomeWord {
    TakeOutcome outcome;
    const char* word;
    const char* reason_before;
    const char* reason_after;
    bool stores_take;
    bool leaves_file_as_it_was;
};
const TakeOutcomeWord& outcome_word(TakeOutcome outcome);

// "saved", "saved (FLAC could not be encoded)", "not saved: Permission denied".
std::string outcome_text(TakeOutcome outcome, const std::string& reason);
// The outcome and reason a text tells; none when it is no outcome's.
std::optional<TakeOutcome> read_outcome(const std::string& text, std::string& reason);

// The entry a row's fields tell; none when the row is no take's: the header,
// a row of another program, or a part of a row a power cut left before its
// outcome. Missing columns at the end read as empty, extra ones are passed
// by. Times come back as date, time and offset (no text of the locale's);
// frames as many as the seconds tell to the millisecond; the peak as near as
// its tenth of a dB tells it. A time, number or fingerprint that is not as
// Taperly writes it reads as not known.
std::optional<TakeLogEntry> read_take_log_row(const std::vector<std::string>& fields);

// The same, reading only the columns of `only` (the outcome always): for
// readers that need a few columns of millions of rows.
using TakeLogColumnSet = std::uint32_t;
TakeLogColumnSet take_log_column_set(std::initializer_list<std::string_view> names);
std::optional<TakeLogEntry> read_take_log_row(const std::vector<std::string>& fields,
                                              TakeLogColumnSet only);

// Seconds since 1970-01-01 UTC of an ISO 8601 time as the log writes it,
// "2026-12-05T21:05:07-05:00"; one without its offset (a recovered take's)
// is read as `local_offset_seconds` east of UTC. None when it is no such time.
std::optional<long long> seconds_since_epoch(std::string_view iso, int local_offset_seconds);
// The same for a time read back from a row (offset_known as the row had it).
long long seconds_since_epoch(const LocalTime& time, bool offset_known, int local_offset_seconds);

}  // namespace taperly
