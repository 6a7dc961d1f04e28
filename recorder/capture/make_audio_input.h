#pragma once

#include <memory>

#include "recorder/capture/audio_input.h"

namespace taperly {

// The sound input this build captures with.
std::unique_ptr<AudioInput> make_audio_input();

}  // namespace taperly
