#include "playback/make_take_player.h"

#include "playback/sndfile_take_sound.h"
#include "playback/threaded_take_player.h"

namespace taperly {

std::unique_ptr<TakePlayer> make_take_player() {
    return std::make_unique<ThreadedTakePlayer>(&open_sndfile_take, &make_sound_output);
}

}  // namespace taperly
