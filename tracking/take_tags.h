#pragma once

#include "recorder/takes/take_tags.h"
#include "tracking/take_log.h"

namespace taperly {

// What a take says of itself inside its file, from what the log tells of
// it: its start, and its texts where they are known.
TakeTags take_tags(const TakeLogEntry& entry);

}  // namespace taperly
