#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace taperly::bench {

// The bench's test signal names every sample: sample n of the feed is
// recognisable wherever it turns up in a recording, so a file tells which
// stretch of the feed it holds, and any sample lost, repeated or altered on
// the way shows. Even samples are positive and carry the low 14 bits of n/2,
// odd samples negative and carry the next 14 bits: a loud 11 kHz buzz
// (25 to 75 % of full scale) that repeats only after 2^29 samples (6.7 hours
// at 22050 Hz). Silence is digital zero.
std::int16_t signal_sample(std::int64_t n);

// The feed's sample number of `frames[at]`, read from it and its neighbour;
// none where the two are not a pair of the signal (silence, or damage).
std::optional<std::int64_t> sample_number_at(std::span<const std::int16_t> frames, std::size_t at);

}  // namespace taperly::bench
