#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "recorder/recorder_control.h"

namespace taperly {

// Taken off the moment the scanner last said it heard nothing: a reply
// handled a few milliseconds after its carriage return came, and a line that
// carries it a few milliseconds slower than its speed (an adapter hands bytes
// over in bursts), both make that moment look later than it was.
inline constexpr std::chrono::milliseconds kPreRollMargin{20};

// The recorder for the running program: captures the sound server's default
// input and saves takes into takes_folder, keeping sound between takes during
// a run unless TAPERLY_PREROLL is "0", and storing them as FLAC when
// TAPERLY_FORMAT is "flac". Call once the QApplication exists,
// and use it from that thread only.
std::unique_ptr<RecorderControl> make_sound_recorder(const std::string& takes_folder);

}  // namespace taperly
