#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tracking/take_log.h"
#include "uploads/upload_settings.h"

namespace taperly {

// A stored take as its uploads need it, from its row in the takes log.
struct QueuedTake {
    std::string file_name;
    // Unix times in milliseconds.
    std::int64_t start_ms = 0;
    std::int64_t end_ms = 0;
    // How far east of UTC the desktop's clock was at its start.
    int utc_offset_seconds = 0;
    std::int64_t frames = 0;
    std::string system;
    std::string group;
    std::string talkgroup;
    std::string talkgroup_id;
    std::string display_line1;
    std::string display_line2;

    // What tells this take from another that had its name before.
    std::string key() const { return file_name + "|" + std::to_string(start_ms); }
    double seconds() const;
    // Its talkgroup, or display line 1 where it has none, without blanks
    // around: what uploads.ini maps to numbers.
    std::string text() const;

    bool operator==(const QueuedTake&) const = default;
};

// The take a row tells of; none without a start. A start without a UTC
// offset (a recovered take's) is read as `local_offset_seconds` east of UTC.
std::optional<QueuedTake> queued_take(const TakeLogEntry& entry, int local_offset_seconds);

// The number `take` goes to `target` under, empty when it has none: a
// Broadcastify slot of its text, else the number the scanner gave, else the
// number uploads.ini gives its text.
std::string number_for(const TargetSettings& target,
                       const std::map<std::string, std::string>& talkgroups,
                       const QueuedTake& take);

// "2026-12-05T21:05:07-05:00": a Unix time in milliseconds as the desktop's
// clock read it, to the second.
std::string rfc3339(std::int64_t unix_ms, int utc_offset_seconds);

// The take's fields as texts, in a fixed order, and back.
std::vector<std::string> take_fields(const QueuedTake& take);
std::optional<QueuedTake> take_from_fields(const std::vector<std::string>& fields,
                                           std::size_t first);

}  // namespace taperly
