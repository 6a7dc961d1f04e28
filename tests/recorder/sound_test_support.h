#pragma once

#include <QCoreApplication>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <vector>

namespace taperly::testing {

// Runs the event loop until the condition holds or the deadline passes;
// returns whether it held.
inline bool run_events_until(std::chrono::steady_clock::time_point deadline,
                             const std::function<bool()>& condition) {
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// The frequency of a steady tone, from the time between its first and last
// rising zero crossings (interpolated between samples).
inline double tone_frequency(const std::vector<std::int16_t>& samples, int sample_rate) {
    double first = -1;
    double last = -1;
    int crossings = 0;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        if (samples[i - 1] < 0 && samples[i] >= 0) {
            const double at = static_cast<double>(i - 1) +
                              static_cast<double>(-samples[i - 1]) / (samples[i] - samples[i - 1]);
            if (first < 0) {
                first = at;
            }
            last = at;
            ++crossings;
        }
    }
    if (crossings < 2) {
        return 0;
    }
    return (crossings - 1) * sample_rate / (last - first);
}

inline double rms(const std::vector<std::int16_t>& samples) {
    double sum = 0;
    for (std::int16_t sample : samples) {
        sum += static_cast<double>(sample) * sample;
    }
    return samples.empty() ? 0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

// Places from the sample `from` on where a steady tone of the given
// frequency breaks off (a drop-out or a repeat): a pure tone obeys
// x[n+1] = 2 cos(w) x[n] - x[n-1], and a splice does not.
inline std::vector<std::size_t> tone_breaks(const std::vector<std::int16_t>& samples,
                                            double frequency, int sample_rate, double peak,
                                            std::size_t from) {
    const double c = 2 * std::cos(2 * std::numbers::pi * frequency / sample_rate);
    std::vector<std::size_t> breaks;
    for (std::size_t i = std::max<std::size_t>(from, 1); i + 1 < samples.size(); ++i) {
        const double predicted = c * samples[i] - samples[i - 1];
        if (std::abs(samples[i + 1] - predicted) > 0.25 * peak) {
            breaks.push_back(i);
            i += 16;  // one splice, one report
        }
    }
    return breaks;
}

}  // namespace taperly::testing
