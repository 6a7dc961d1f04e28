#pragma once

// Three takes of 1000, 1500 and 2000 Hz, made by the program's own take
// writer with quiet before and after their tones, and what a sound
// server's monitor heard of them: the tones' runs, their order, length,
// pitch and the quiet between them.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "recorder/sound_test_support.h"
#include "recorder/takes/flac_saver.h"
#include "recorder/takes/wave_file_writer.h"

namespace taperly::testing {

constexpr int kRate = 22050;
constexpr double kTakeSeconds = 1.5;
// Quiet before and after each tone, as the pre-roll leaves it: heard whole,
// 0.7 s would lie between two tones; cut, 0.35 s.
constexpr double kQuietBefore = 0.6;
constexpr double kQuietAfter = 0.1;
constexpr double kFrequencies[] = {1000, 1500, 2000};

inline std::string tone_take(const std::string& folder, const std::string& name, double frequency) {
    {
        auto flac = name.ends_with(".flac") ? std::make_unique<FlacSaver>() : nullptr;
        WaveFileWriter writer(folder, std::move(flac));
        EXPECT_TRUE(writer.begin(""));
        const auto quiet_before = static_cast<std::size_t>(kQuietBefore * kRate);
        std::vector<std::int16_t> frames(
            static_cast<std::size_t>((kQuietBefore + kTakeSeconds + kQuietAfter) * kRate));
        for (std::size_t i = 0; i < static_cast<std::size_t>(kTakeSeconds * kRate); ++i) {
            frames[quiet_before + i] = static_cast<std::int16_t>(
                std::lround(12000 * std::sin(2 * std::numbers::pi * frequency * i / kRate)));
        }
        writer.append(frames);
        EXPECT_NE(writer.save_as(name), TakeWriter::Saved::kFailed);
    }  // A FLAC take is stored by the time its writer is gone.
    // Where libsndfile writes no FLAC (the Windows build) the take is a WAV.
    const std::string path = folder + "/" + name;
    const std::string wave = path.substr(0, path.rfind('.')) + ".wav";
    return std::filesystem::exists(path) || !std::filesystem::exists(wave) ? path : wave;
}

// A stretch of one tone heard on the monitor, in seconds of the recording.
struct Heard {
    double frequency;
    double begin;
    double end;
};

// The tones heard, 20 ms at a time: runs of loud windows nearest the same
// take's tone, and the pitch of each run measured over all of it but its
// edges, where one tone gives way to the next.
inline std::vector<Heard> tones_heard(const std::vector<std::int16_t>& samples) {
    constexpr std::size_t kWindow = kRate / 50;
    std::vector<Heard> runs;
    double last_tone = 0;
    for (std::size_t at = 0; at + kWindow <= samples.size(); at += kWindow) {
        const std::vector<std::int16_t> window(
            samples.begin() + static_cast<std::ptrdiff_t>(at),
            samples.begin() + static_cast<std::ptrdiff_t>(at + kWindow));
        const double frequency = tone_frequency(window, kRate);
        double tone = 0;
        for (const double candidate : kFrequencies) {
            if (rms(window) > 2000 && std::abs(frequency - candidate) < 0.1 * candidate) {
                tone = candidate;
            }
        }
        const double seconds = static_cast<double>(at) / kRate;
        if (tone != 0 && tone == last_tone && seconds - runs.back().end < 0.05) {
            runs.back().end = seconds + 0.02;
        } else if (tone != 0) {
            runs.push_back({tone, seconds, seconds + 0.02});
        }
        last_tone = tone;
    }
    std::erase_if(runs, [](const Heard& run) { return run.end - run.begin < 0.1; });
    for (Heard& run : runs) {
        const auto from = static_cast<std::ptrdiff_t>((run.begin + 0.05) * kRate);
        const auto to = static_cast<std::ptrdiff_t>((run.end - 0.05) * kRate);
        run.frequency = tone_frequency({samples.begin() + from, samples.begin() + to}, kRate);
    }
    return runs;
}

inline void expect_back_to_back(const std::vector<Heard>& heard, double speed) {
    for (const Heard& run : heard) {
        std::cout << run.frequency << " Hz from " << run.begin << " s to " << run.end << " s\n";
    }
    ASSERT_EQ(heard.size(), 3u);
    for (std::size_t i = 0; i < heard.size(); ++i) {
        SCOPED_TRACE("take " + std::to_string(i + 1));
        EXPECT_NEAR(heard[i].frequency, kFrequencies[i], 0.03 * kFrequencies[i]);
        EXPECT_NEAR(heard[i].end - heard[i].begin, kTakeSeconds / speed, 0.1);
        if (i > 0) {
            EXPECT_LE(heard[i].begin - heard[i - 1].end, 0.5);
        }
    }
}

}  // namespace taperly::testing
