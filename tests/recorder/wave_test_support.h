#pragma once

#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

#include "support/shared_read.h"

namespace taperly::testing {

struct WaveContents {
    bool readable = false;
    int sample_rate = 0;
    int channels = 0;
    std::vector<std::int16_t> samples;
};

// A file's bytes as libsndfile reads a file.
struct BytesRead {
    std::string bytes;
    sf_count_t at = 0;

    static BytesRead& of(void* user) { return *static_cast<BytesRead*>(user); }
    static SF_VIRTUAL_IO calls() {
        return {[](void* user) { return static_cast<sf_count_t>(of(user).bytes.size()); },
                [](sf_count_t offset, int whence, void* user) {
                    BytesRead& read = of(user);
                    const sf_count_t base = whence == SEEK_SET ? 0
                                            : whence == SEEK_CUR
                                                ? read.at
                                                : static_cast<sf_count_t>(read.bytes.size());
                    read.at = base + offset;
                    return read.at;
                },
                [](void* into, sf_count_t count, void* user) {
                    BytesRead& read = of(user);
                    const auto size = static_cast<sf_count_t>(read.bytes.size());
                    const sf_count_t got =
                        std::max<sf_count_t>(0, std::min(count, size - std::min(read.at, size)));
                    std::copy_n(read.bytes.data() + read.at, got, static_cast<char*>(into));
                    read.at += got;
                    return got;
                },
                [](const void*, sf_count_t, void*) { return sf_count_t{0}; },
                [](void* user) { return of(user).at; }};
    }
};

// What libsndfile reads of the take at `path`, also of one still being
// recorded.
inline WaveContents read_wave(const std::string& path) {
    WaveContents contents;
    BytesRead read{read_shared(path)};
    SF_VIRTUAL_IO calls = BytesRead::calls();
    SF_INFO info{};
    SNDFILE* file = sf_open_virtual(&calls, SFM_READ, &info, &read);
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

// Whether the RIFF and data chunk sizes in a WAV header match the file's
// length, as players other than libsndfile need them to.
inline bool wave_header_matches_length(const std::string& path) {
    const std::string bytes = read_shared(path);
    const auto u32 = [&bytes](std::size_t at) {
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i) {
            value =
                value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
        }
        return value;
    };
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || u32(4) != bytes.size() - 8) {
        return false;
    }
    for (std::size_t at = 12; at + 8 <= bytes.size(); at += 8 + u32(at + 4) + (u32(at + 4) & 1)) {
        if (bytes.compare(at, 4, "data") == 0) {
            return u32(at + 4) == bytes.size() - at - 8;
        }
    }
    return false;
}

// Frames numbered from first, so any loss, repeat or reordering shows.
inline std::vector<std::int16_t> numbered_frames(int first, int count) {
    std::vector<std::int16_t> frames(static_cast<std::size_t>(count));
    std::iota(frames.begin(), frames.end(), static_cast<std::int16_t>(first));
    return frames;
}

}  // namespace taperly::testing
