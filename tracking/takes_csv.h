#pragma once

#include <optional>
#include <string>
#include <vector>

namespace taperly {

// A row of the takes log as the retention of takes reads it back.
struct LoggedTake {
    std::string start;
    std::string end;
    std::string file_name;
    std::string outcome;
};

// The rows of the takes log text `csv` (RFC 4180, as take_log_row writes
// them), found by the header's names so that columns added later do not
// matter; none when its first row is no header of a takes log. A half row a
// power cut left at the end is read as far as it goes.
std::optional<std::vector<LoggedTake>> read_takes_csv(const std::string& csv);

// Seconds since 1970-01-01 UTC of an ISO 8601 time as the log writes it,
// "2026-12-05T21:05:07-05:00"; one without its offset (a recovered take's)
// is read as `local_offset_seconds` east of UTC. None when it is no such time.
std::optional<long long> seconds_since_epoch(const std::string& iso, int local_offset_seconds);

}  // namespace taperly
