#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tracking/clock.h"

namespace taperly {

// What became of a take, as its row in the takes log says it.
// kRemoved: a saved take that was kept for its days was removed.
// kKept: a take past its days is kept, and why (it is no longer the file
// Taperly stored).
enum class TakeOutcome { kSaved, kNameTaken, kNotSaved, kRecovered, kSplit, kRemoved, kKept };

// One take as the takes log tells it. Texts are UTF-8.
struct TakeLogEntry {
    // None where the take's start or end is not known (a recovered take's end).
    std::optional<LocalTime> start;
    std::optional<LocalTime> end;
    // A recovered take's start is read from its name, which has no UTC
    // offset: its time is then written as the local time it was.
    bool offsets_known = true;
    // The sound the take holds, in frames at the takes' rate.
    std::int64_t frames = 0;
    std::string file_name;
    TakeOutcome outcome = TakeOutcome::kSaved;
    // Why a take was not saved, as the system words it; for a saved one,
    // why it was not saved as asked (a FLAC take saved as WAV).
    std::string reason;
    std::string system;
    std::string group;
    std::string talkgroup;
    // The talkgroup's number as the scanner gave it, digits only; empty
    // when it gave none.
    std::string talkgroup_id;
    std::string display_line1;
    std::string display_line2;
    // The largest absolute sample, 0 to 32768; none when not known.
    std::optional<int> peak;
    // What tells the stored file from any other (take_identity.h), read
    // when the row is written; none where there is no file or it could not
    // be read.
    std::optional<std::int64_t> file_bytes;
    std::string fingerprint;
};

// The time in ISO 8601 with its UTC offset, "2026-12-05T21:05:07-05:00".
std::string iso_8601(const LocalTime& time);

// The log's first row, with its line end (take_log_codec.cpp).
std::string take_log_header();
// The entry as one CSV row (RFC 4180, UTF-8) with its line end: times in
// ISO 8601 with their UTC offset, the length in seconds to the millisecond,
// the peak in dBFS to a tenth, and an empty field for what is not known or
// for a peak of silence, which has no level (take_log_codec.cpp).
std::string take_log_row(const TakeLogEntry& entry);

// The row of a take recovered at start-up as `name`, holding `frames`, that
// began at `started` as its hidden name said it ("9-05-07-PM_12-05-2026"):
// its start is told where the name's time reads plainly as hours, minutes
// and seconds, with AM or PM if any.
TakeLogEntry recovered_take_entry(const std::string& name, const std::string& started,
                                  std::int64_t frames);

// Where rows go; a failure to keep one is the log's own business and never
// reaches the take. Safe to add to from any thread.
class TakeLog {
  public:
    virtual ~TakeLog() = default;
    virtual void add(const TakeLogEntry& entry) = 0;
};

// Recovers what a crash left in `folder` (see recover_unfinished_takes),
// with a row in `log` for each take, when there is a log; returns the names
// the takes were given.
std::vector<std::string> recover_and_log_unfinished_takes(const std::string& folder, TakeLog* log);

}  // namespace taperly
