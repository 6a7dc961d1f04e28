#pragma once

#include <memory>
#include <string>

#include "playback/take_sound.h"

namespace taperly {

// A take read through libsndfile: the program's own WAV takes, FLAC takes,
// and whatever else libsndfile reads that was copied into the folder.
std::unique_ptr<TakeSound> open_sndfile_take(const std::string& path, std::string& problem);

}  // namespace taperly
