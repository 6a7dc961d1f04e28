#include "tools/demo/wave_summary.h"

#include <sndfile.h>

#include <cmath>
#include <memory>
#include <vector>

namespace taperly::demo {

namespace {

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

}  // namespace

std::optional<WaveSummary> summarise_wave(const std::string& path) {
    SF_INFO info{};
    const std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file || info.samplerate <= 0 || info.channels <= 0) {
        return std::nullopt;
    }
    WaveSummary summary;
    summary.sample_rate = info.samplerate;
    summary.seconds = static_cast<double>(info.frames) / info.samplerate;

    const auto channels = static_cast<std::size_t>(info.channels);
    std::vector<double> block(4096 * channels);
    double sum_of_squares = 0.0;
    sf_count_t frames_read = 0;
    long crossings = 0;
    double previous = 0.0;
    sf_count_t count;
    while ((count = sf_readf_double(file.get(), block.data(), 4096)) > 0) {
        for (sf_count_t frame = 0; frame < count; ++frame) {
            const double sample = block[static_cast<std::size_t>(frame) * channels];
            sum_of_squares += sample * sample;
            if ((previous < 0.0) != (sample < 0.0) && frames_read + frame > 0) {
                ++crossings;
            }
            previous = sample;
        }
        frames_read += count;
    }
    if (frames_read > 0) {
        const double rms = std::sqrt(sum_of_squares / static_cast<double>(frames_read));
        summary.rms_dbfs = rms > 0.0 ? 20.0 * std::log10(rms) : -200.0;
        summary.crossing_hz =
            crossings / 2.0 / (static_cast<double>(frames_read) / info.samplerate);
    }
    return summary;
}

}  // namespace taperly::demo
