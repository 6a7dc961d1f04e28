#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace taperly::bench {

// The 16-bit mono samples of a WAV file; empty when it cannot be read.
struct Recording {
    std::vector<std::int16_t> frames;
    int rate = 0;
    int channels = 0;
    std::string error;
};
Recording read_recording(const std::string& path);

// How faithfully a recording holds one unbroken stretch of the feed.
struct Continuity {
    std::int64_t frames = 0;
    // The feed's numbers of the first and last sample; none when no sample
    // of the signal was found.
    std::optional<std::int64_t> first_number;
    std::optional<std::int64_t> last_number;
    // Samples of the feed missing between the first and the last.
    std::int64_t lost = 0;
    // Samples that were recorded a second time (the stream stepped back).
    std::int64_t duplicated = 0;
    // Samples that are not the feed's at all (changed, or silence).
    std::int64_t altered = 0;
};
Continuity check_continuity(const std::vector<std::int16_t>& frames);

// Which stretch of the feed a take covers: the feed's number of its first
// sample and of the sample after its last. A take that starts or ends in
// silence is placed by the signal found inside it.
struct TakeSpan {
    std::int64_t start = 0;
    std::int64_t end = 0;
};
std::optional<TakeSpan> take_span(const std::vector<std::int16_t>& frames);

}  // namespace taperly::bench
