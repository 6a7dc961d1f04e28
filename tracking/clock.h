#pragma once

#include <chrono>
#include <string>

namespace taperly {

struct CalendarDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

// Time since an arbitrary start that never jumps: what intervals are measured in.
using SteadyTime = std::chrono::milliseconds;

// The time of day as numbers, and how far the desktop's time zone was from
// UTC then: what a log needs to place a take in time whatever the locale.
struct WallTime {
    int hour = 0;
    int minute = 0;
    int second = 0;
    // East of UTC is positive.
    int utc_offset_seconds = 0;
};

// One reading of the desktop's clock: a time and a date read apart could
// straddle midnight.
struct LocalTime {
    // In the locale's long format without a time zone, for example
    // "9:05:07 PM" or "21:05:07"; UTF-8.
    std::string time_of_day;
    CalendarDate date;
    WallTime wall;
};

// The time of day and date as the desktop's locale shows them, and the steady
// time that measures how long the scanner has been quiet.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual LocalTime local_time() = 0;
    virtual SteadyTime steady_time() = 0;
};

}  // namespace taperly
