#include <cstdio>
#include <cstdlib>

#include "recorder/takes/unfinished_takes.h"
#include "tracking/take_log.h"

namespace taperly {

std::string iso_8601(const LocalTime& time) {
    const WallTime& wall = time.wall;
    const int offset_minutes = std::abs(wall.utc_offset_seconds) / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", time.date.year,
                  time.date.month, time.date.day, wall.hour, wall.minute, wall.second,
                  wall.utc_offset_seconds < 0 ? '-' : '+', offset_minutes / 60,
                  offset_minutes % 60);
    return text;
}

std::vector<std::string> recover_and_log_unfinished_takes(const std::string& folder, TakeLog* log) {
    std::vector<std::string> names;
    for (const RecoveredTake& take : recover_unfinished_takes_told(folder)) {
        if (log != nullptr) {
            log->add(recovered_take_entry(take.name, take.started, take.frames));
        }
        names.push_back(take.name);
    }
    return names;
}

}  // namespace taperly
