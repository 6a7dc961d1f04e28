#pragma once

#include <string>

namespace taperly {

// Whether takes are stored as FLAC: `setting` is TAPERLY_FORMAT's value
// (none when it is not set). "flac" asks for FLAC; none, "" and "wav" keep
// WAV, and anything else is told on standard error and keeps WAV too.
bool flac_asked(const char* setting);

}  // namespace taperly
