#pragma once

#include <cstdint>

#include "playback/take_sound.h"

namespace taperly {

// The part of a take the player plays when it comes in a list: its quiet
// start and end (the pre-roll's quiet before a call, the quiet after it)
// are cut to at most a quarter of a second each, so that between two takes
// at most half a second of quiet is heard. Quiet inside a take stays.
struct PlayedPart {
    std::int64_t begin = 0;
    std::int64_t end = 0;
    bool operator==(const PlayedPart&) const = default;
};

// Quiet: 10 ms in a row whose loudest sample stays below 1 % of full scale
// (-40 dBFS): a line's hiss, never a syllable.
inline constexpr int kQuietPeak = 328;
// What is kept of the quiet on each side of the sound.
inline constexpr double kQuietKeptSeconds = 0.25;
// How far into a take from each end quiet is looked for: a take quiet for
// longer than this at an end (a carrier held with nothing on it) plays from
// there as it is rather than hold the player up reading it.
inline constexpr double kQuietSoughtSeconds = 60;

// A take that is quiet throughout has no part to play: begin == end.
PlayedPart played_part(TakeSound& sound);

}  // namespace taperly
