#pragma once

#include <cstdint>

namespace taperly {

// The desktop's time zone, as the Takes window places takes in its days:
// what a local time of day is in UTC, and the reverse. Seconds since
// 1970-01-01; a "local" count is the wall clock's reading taken as if it
// were UTC.
class LocalZone {
  public:
    virtual ~LocalZone() = default;
    // East of UTC at that moment.
    virtual int offset_at(std::int64_t utc_seconds) const = 0;
    // The moment the wall clock read `local_seconds`; in an hour a clock
    // change skipped or repeated, one of the moments near it.
    virtual std::int64_t utc_of_local(std::int64_t local_seconds) const = 0;
};

}  // namespace taperly
