#include "archive/time_ranges.h"

#include <limits>

namespace taperly {

namespace {

constexpr std::int64_t kDay = 24 * 60 * 60;
constexpr std::int64_t kNoEnd = std::numeric_limits<std::int64_t>::max();

std::int64_t floor_day(std::int64_t local) {
    return (local >= 0 ? local : local - (kDay - 1)) / kDay * kDay;
}

// The local midnight `days` days after the one that began today.
std::int64_t midnight(std::int64_t now, const LocalZone& zone, int days) {
    const std::int64_t today = floor_day(now + zone.offset_at(now));
    return zone.utc_of_local(today + days * kDay);
}

}  // namespace

std::optional<TimeBounds> time_bounds(TimeSpan span, std::int64_t now, const LocalZone& zone,
                                      std::int64_t from_local, std::int64_t to_local) {
    switch (span) {
        case TimeSpan::kAll:
            return std::nullopt;
        case TimeSpan::kLastHour:
            return TimeBounds{now - 60 * 60, kNoEnd};
        case TimeSpan::kToday:
            return TimeBounds{midnight(now, zone, 0), kNoEnd};
        case TimeSpan::kYesterday:
            return TimeBounds{midnight(now, zone, -1), midnight(now, zone, 0)};
        case TimeSpan::kLastSevenDays:
            return TimeBounds{midnight(now, zone, -6), kNoEnd};
        case TimeSpan::kBetween:
            return TimeBounds{zone.utc_of_local(from_local), zone.utc_of_local(to_local) + 1};
    }
    return std::nullopt;
}

}  // namespace taperly
