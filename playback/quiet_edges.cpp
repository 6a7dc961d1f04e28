#include "playback/quiet_edges.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace taperly {

namespace {

bool loud(std::span<const std::int16_t> block) {
    return std::any_of(block.begin(), block.end(),
                       [](std::int16_t sample) { return std::abs(sample) >= kQuietPeak; });
}

}  // namespace

PlayedPart played_part(TakeSound& sound) {
    const std::int64_t frames = sound.frames();
    const std::int64_t block = std::max(1, sound.rate() / 100);
    const auto kept = static_cast<std::int64_t>(kQuietKeptSeconds * sound.rate());
    const std::int64_t sought =
        std::min(frames, static_cast<std::int64_t>(kQuietSoughtSeconds * sound.rate()));
    // Read in pieces of many blocks, judged block by block.
    const std::int64_t piece = block * 50;
    std::vector<std::int16_t> samples(static_cast<std::size_t>(piece));

    // The first loud block from the start.
    std::int64_t sound_begin = -1;
    for (std::int64_t at = 0; at < sought && sound_begin < 0; at += piece) {
        const std::size_t got = sound.read(at, samples);
        if (got == 0) {
            break;
        }
        for (std::size_t b = 0; b < got; b += static_cast<std::size_t>(block)) {
            const std::size_t size =
                std::min<std::size_t>(static_cast<std::size_t>(block), got - b);
            if (loud({samples.data() + b, size})) {
                sound_begin = at + static_cast<std::int64_t>(b);
                break;
            }
        }
    }
    if (sound_begin < 0) {
        if (sought == frames) {
            return {0, 0};
        }
        sound_begin = sought;
    }

    // The last loud block from the end, blocks counted back from the end.
    std::int64_t sound_end = -1;
    const std::int64_t floor = std::max(sound_begin, frames - sought);
    for (std::int64_t top = frames; top > floor && sound_end < 0; top -= piece) {
        const std::int64_t from = std::max(floor, top - piece);
        const std::size_t got =
            sound.read(from, {samples.data(), static_cast<std::size_t>(top - from)});
        for (std::int64_t b_end = from + static_cast<std::int64_t>(got); b_end > from;
             b_end -= block) {
            const std::int64_t b_begin = std::max(from, b_end - block);
            if (loud({samples.data() + (b_begin - from),
                      static_cast<std::size_t>(b_end - b_begin)})) {
                sound_end = b_end;
                break;
            }
        }
    }
    if (sound_end < 0) {
        sound_end = floor == sound_begin ? sound_begin + block : floor;
    }
    return {std::max<std::int64_t>(0, sound_begin - kept), std::min(frames, sound_end + kept)};
}

}  // namespace taperly
