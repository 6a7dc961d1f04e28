#pragma once

#include <sndfile.h>

#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

namespace taperly::testing {

struct WaveContents {
    bool readable = false;
    int sample_rate = 0;
    int channels = 0;
    std::vector<std::int16_t> samples;
};

inline WaveContents read_wave(const std::string& path) {
    WaveContents contents;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        return contents;
    }
    contents.readable = true;
    contents.sample_rate = info.samplerate;
    contents.channels = info.channels;
    contents.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    contents.samples.resize(static_cast<std::size_t>(sf_read_short(
        file, contents.samples.data(), static_cast<sf_count_t>(contents.samples.size()))));
    sf_close(file);
    return contents;
}

// Frames numbered from first, so any loss, repeat or reordering shows.
inline std::vector<std::int16_t> numbered_frames(int first, int count) {
    std::vector<std::int16_t> frames(static_cast<std::size_t>(count));
    std::iota(frames.begin(), frames.end(), static_cast<std::int16_t>(first));
    return frames;
}

}  // namespace taperly::testing
