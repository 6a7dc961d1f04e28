#pragma once

#include <memory>

#include "playback/take_player.h"

namespace taperly {

// The player the Takes window drives: takes read through libsndfile, heard
// on the sound server's default output (libpulse on Linux, WASAPI on
// Windows). Making it opens nothing; the output is opened when there is
// something to hear.
std::unique_ptr<TakePlayer> make_take_player();

}  // namespace taperly
