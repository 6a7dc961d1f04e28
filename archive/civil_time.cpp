#include "archive/civil_time.h"

namespace taperly {

// After Howard Hinnant's chrono-compatible date algorithms.
std::int64_t days_from_civil(const CalendarDate& date) {
    const std::int64_t year = date.year - (date.month <= 2 ? 1 : 0);
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto year_of_era = static_cast<unsigned>(year - era * 400);
    const auto month = static_cast<unsigned>(date.month);
    const unsigned day_of_year =
        (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + static_cast<unsigned>(date.day) - 1;
    const unsigned day_of_era =
        year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + static_cast<std::int64_t>(day_of_era) - 719468;
}

CalendarDate civil_from_days(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto day_of_era = static_cast<unsigned>(days - era * 146097);
    const unsigned year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const unsigned day_of_year =
        day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const unsigned shifted_month = (5 * day_of_year + 2) / 153;
    CalendarDate date;
    date.day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
    date.month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
    date.year = static_cast<int>(static_cast<std::int64_t>(year_of_era) + era * 400 +
                                 (date.month <= 2 ? 1 : 0));
    return date;
}

std::int64_t local_seconds(const LocalTime& time) {
    return days_from_civil(time.date) * 86400 + time.wall.hour * 3600LL + time.wall.minute * 60LL +
           time.wall.second;
}

}  // namespace taperly
