#pragma once

#include <memory>
#include <string>

#include "recorder/recorder_control.h"

namespace taperly {

// The recorder for the running program: captures the sound server's default
// input and saves takes into takes_folder. Call once the QApplication exists,
// and use it from that thread only.
std::unique_ptr<RecorderControl> make_sound_recorder(const std::string& takes_folder);

}  // namespace taperly
