#include "recorder/capture/sample_conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <numbers>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "recorder/capture/audio_input.h"
#include "recorder/sound_test_support.h"

namespace taperly {
namespace {

using testing::rms;
using testing::tone_frequency;

// What a device sends: each frame's channels from `value(frame, channel)`,
// in -1.0..1.0 at full scale (floats may go beyond; integers are clipped).
std::vector<unsigned char> device_sound(const DeviceFormat& format, int frames,
                                        const std::function<double(int, int)>& value) {
    std::vector<unsigned char> bytes;
    for (int frame = 0; frame < frames; ++frame) {
        for (int channel = 0; channel < format.channels; ++channel) {
            const double v = value(frame, channel);
            unsigned char sample[4];
            std::size_t size = 4;
            if (format.encoding == SampleEncoding::kFloat32) {
                const auto f = static_cast<float>(v);
                std::memcpy(sample, &f, 4);
            } else if (format.encoding == SampleEncoding::kInt16) {
                const auto i = static_cast<std::int16_t>(std::clamp(v * 32768, -32768.0, 32767.0));
                std::memcpy(sample, &i, 2);
                size = 2;
            } else {
                const auto i = static_cast<std::int32_t>(
                    std::clamp(v * 2147483648.0, -2147483648.0, 2147483647.0));
                std::memcpy(sample, &i, 4);
            }
            bytes.insert(bytes.end(), sample, sample + size);
        }
    }
    return bytes;
}

std::vector<std::int16_t> converted(const DeviceFormat& format,
                                    const std::vector<unsigned char>& bytes) {
    SampleConversion conversion(format);
    std::vector<std::int16_t> out;
    const std::size_t frame_bytes = static_cast<std::size_t>(format.channels) *
                                    (format.encoding == SampleEncoding::kInt16 ? 2 : 4);
    conversion.convert(bytes.data(), bytes.size() / frame_bytes, out);
    return out;
}

std::vector<std::int16_t> slice(const std::vector<std::int16_t>& samples, double from_seconds,
                                double to_seconds) {
    return {samples.begin() + static_cast<std::ptrdiff_t>(from_seconds * kCaptureRate),
            samples.begin() + static_cast<std::ptrdiff_t>(to_seconds * kCaptureRate)};
}

double sine(double frequency, int rate, int frame) {
    return std::sin(2 * std::numbers::pi * frequency * frame / rate);
}

const char* encoding_name(SampleEncoding encoding) {
    switch (encoding) {
        case SampleEncoding::kFloat32:
            return "float32";
        case SampleEncoding::kInt16:
            return "int16";
        case SampleEncoding::kInt32:
            return "int32";
    }
    return "?";
}

}  // namespace

void PrintTo(const DeviceFormat& format, std::ostream* out) {
    *out << encoding_name(format.encoding) << ", " << format.channels << " channels at "
         << format.rate;
}

namespace {

class ConversionTable : public ::testing::TestWithParam<DeviceFormat> {};

TEST_P(ConversionTable, ToneCountAliasingClippingAndPackets) {
    const DeviceFormat format = GetParam();
    const int rate = format.rate;
    const double tone_level = 0.5;

    // A 1 kHz tone on the first channel alone: every channel counts alike.
    const auto tone = device_sound(format, rate, [&](int frame, int channel) {
        return channel == 0 ? tone_level * sine(1000, rate, frame) : 0.0;
    });
    const std::vector<std::int16_t> out = converted(format, tone);
    ASSERT_EQ(out.size(), static_cast<std::size_t>(kCaptureRate)) << "one second in";
    const auto steady = slice(out, 0.01, 1.0);
    EXPECT_NEAR(tone_frequency(steady, kCaptureRate), 1000.0, 1.0);
    const double expected_rms = tone_level / format.channels * 32768 / std::sqrt(2.0);
    EXPECT_NEAR(rms(steady), expected_rms, 0.01 * expected_rms);

    // Packets of odd sizes, one of them marked silent whatever it holds, come
    // out as the same stream in one packet with that packet's frames silent.
    const std::size_t frame_bytes = tone.size() / static_cast<std::size_t>(rate);
    const std::vector<std::size_t> sizes{1, 7, 113, 480, 1031, 2, 441};
    SampleConversion conversion(format);
    std::vector<std::int16_t> in_packets;
    std::vector<unsigned char> with_silence = tone;
    std::size_t at = 0;
    for (std::size_t i = 0; at < static_cast<std::size_t>(rate); ++i) {
        const std::size_t frames = std::min(sizes[i % sizes.size()], rate - at);
        if (i == 5) {
            conversion.convert_silence(frames, in_packets);
            std::fill_n(with_silence.begin() + static_cast<std::ptrdiff_t>(at * frame_bytes),
                        frames * frame_bytes, 0);
        } else {
            conversion.convert(tone.data() + at * frame_bytes, frames, in_packets);
        }
        at += frames;
    }
    EXPECT_EQ(in_packets, converted(format, with_silence));

    // Above the takes' half rate: nothing of it may come back within the band.
    if (rate / 2 > 13000) {
        const auto high = device_sound(format, rate, [&](int frame, int) {
            return 0.45 * sine(12000, rate, frame) + 0.45 * sine(rate / 2.0 - 1000, rate, frame);
        });
        EXPECT_LT(rms(slice(converted(format, high), 0.01, 1.0)), 32768 * 1e-3)
            << "folded back above -60 dB";
    }

    // Full scale stays full scale, and louder floats are clipped, not wrapped.
    const double over = format.encoding == SampleEncoding::kFloat32 ? 1.5 : 1.0;
    const auto steps = device_sound(format, rate / 2, [&](int frame, int) {
        const int part = frame * 3 / (rate / 2);
        return part == 0 ? 1.0 : part == 1 ? over : -over;
    });
    const auto stepped = converted(format, steps);
    for (const auto& [from, to, expected] :
         {std::tuple{0.02, 0.14, 32767}, std::tuple{0.19, 0.31, 32767},
          std::tuple{0.36, 0.49, -32768}}) {
        const auto part = slice(stepped, from, to);
        EXPECT_TRUE(
            std::all_of(part.begin(), part.end(), [&](std::int16_t s) { return s == expected; }))
            << "from " << from << " s the level is not " << expected;
    }
}

INSTANTIATE_TEST_SUITE_P(RatesFormatsChannels, ConversionTable,
                         ::testing::Values(DeviceFormat{SampleEncoding::kFloat32, 1, 48000},
                                           DeviceFormat{SampleEncoding::kFloat32, 2, 48000},
                                           DeviceFormat{SampleEncoding::kFloat32, 6, 44100},
                                           DeviceFormat{SampleEncoding::kInt16, 2, 44100},
                                           DeviceFormat{SampleEncoding::kInt16, 1, 16000},
                                           DeviceFormat{SampleEncoding::kInt32, 2, 96000},
                                           DeviceFormat{SampleEncoding::kInt32, 4, 22050},
                                           DeviceFormat{SampleEncoding::kFloat32, 2, 8000},
                                           // In no small ratio to the takes' rate.
                                           DeviceFormat{SampleEncoding::kInt16, 2, 44099}),
                         [](const ::testing::TestParamInfo<DeviceFormat>& info) {
                             return std::string(encoding_name(info.param.encoding)) + "_" +
                                    std::to_string(info.param.channels) + "ch_" +
                                    std::to_string(info.param.rate);
                         });

}  // namespace
}  // namespace taperly
