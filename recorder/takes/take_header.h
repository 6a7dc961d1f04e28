#pragma once

#include <cstdint>

#include "recorder/takes/native_file.h"

namespace taperly {

// Makes a take that was cut short play again: a crash or a power cut can
// leave its WAV header telling sizes from before the last sound was written,
// none at all, or no header at all, and its last frame half written. The
// sizes are made to say what the file holds, whole frames only; a header
// that cannot be read is written anew for the format takes are made in.
// The whole frames the take holds, -1 when the file could not be mended.
std::int64_t mend_take_header(NativeFile& file);

}  // namespace taperly
