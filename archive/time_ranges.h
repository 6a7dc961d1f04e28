#pragma once

#include <cstdint>
#include <optional>

#include "archive/local_zone.h"

namespace taperly {

// The spans of time the Takes window offers, as the desktop's clock and
// calendar see them.
enum class TimeSpan { kAll, kLastHour, kToday, kYesterday, kLastSevenDays, kBetween };

// Seconds since 1970 UTC: takes that began at `from` or later and before `to`.
struct TimeBounds {
    std::int64_t from = 0;
    std::int64_t to = 0;
    bool operator==(const TimeBounds&) const = default;
};

// The bounds of `span` at `now` (UTC) in `zone`; none for every take. Days
// begin at the local midnight, so a day a clock change shortens or
// lengthens is still one day. kBetween takes `from_local` and `to_local`
// (local seconds, `to_local` the last second included). Takes stamped after
// `now` (a clock set back since) stay in the spans that reach to now.
std::optional<TimeBounds> time_bounds(TimeSpan span, std::int64_t now, const LocalZone& zone,
                                      std::int64_t from_local = 0, std::int64_t to_local = 0);

}  // namespace taperly
