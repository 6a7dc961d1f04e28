#pragma once

#include <array>
#include <cstdint>

#include "recorder/takes/take_tags.h"

namespace taperly {

// A take's WAV header: RIFF, the PCM format, a Broadcast WAV `bext` chunk and
// a LIST/INFO chunk of title, comment, creation date and software, then the
// sound. Each tag has room of a fixed size, so the header's length never
// changes: tags learnt only when the take ends are written over the room
// once the sound is already behind it, and every state of the room between
// leaves a WAV file that readers accept.
inline constexpr std::int64_t kTakeHeaderSize = 2042;
// Where the sound's size is, just before the sound.
inline constexpr std::int64_t kTakeDataSizeAt = kTakeHeaderSize - 4;

using TakeHead = std::array<unsigned char, kTakeHeaderSize>;

// The header of a take holding `data_bytes` of sound, with `tags` cut at a
// character's end where one does not fit its room.
TakeHead take_head(const TakeTags& tags, std::uint32_t data_bytes);

}  // namespace taperly
