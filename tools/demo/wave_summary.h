#pragma once

#include <optional>
#include <string>

namespace taperly::demo {

// What a saved take holds, measured from the file itself.
struct WaveSummary {
    double seconds = 0.0;
    int sample_rate = 0;
    // RMS level of the first channel relative to full scale; very low for silence.
    double rms_dbfs = -200.0;
    // The frequency a pure tone would have with as many zero crossings.
    double crossing_hz = 0.0;
};

// None when the file is no sound file libsndfile can read.
std::optional<WaveSummary> summarise_wave(const std::string& path);

}  // namespace taperly::demo
