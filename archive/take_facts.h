#pragma once

#include <optional>
#include <string>

#include "archive/archived_take.h"
#include "archive/local_zone.h"
#include "archive/take_file_reading.h"
#include "tracking/take_log.h"

namespace taperly {

// A take as its row in the log tells it. A start without its UTC offset (a
// recovered take's) is read as the desktop's local time.
TakeFacts facts_of_row(const TakeLogEntry& row, const LocalZone& zone);

// A take the log has no row of, named `name`: its tags where it has them,
// else what its name tells.
TakeFacts facts_of_file(const std::string& name, const FileReading& file, const LocalZone& zone);

// Whether a row says the take is stored under its name now, as saved,
// split or recovered (with or without a reason).
bool stores_take(const TakeLogEntry& row);

}  // namespace taperly
