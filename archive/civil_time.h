#pragma once

#include <cstdint>

#include "tracking/clock.h"

namespace taperly {

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back.
std::int64_t days_from_civil(const CalendarDate& date);
CalendarDate civil_from_days(std::int64_t days);

// The wall clock's reading of `time` in seconds, taken as if it were UTC.
std::int64_t local_seconds(const LocalTime& time);
// The moment `time` was, by the offset it carries.
inline std::int64_t utc_seconds(const LocalTime& time) {
    return local_seconds(time) - time.wall.utc_offset_seconds;
}

}  // namespace taperly
