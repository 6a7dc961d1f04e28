#include "recorder/capture/sample_conversion.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <numeric>

#include "recorder/capture/audio_input.h"

namespace taperly {

namespace {

constexpr int kTableSteps = 512;
// More places than this between input frames are weighed as they come.
constexpr std::int64_t kMostPlaces = 1024;
// The Kaiser window's shape: some 80 dB of stop band.
constexpr double kKaiserBeta = 8.0;
constexpr double kStopDecibels = 80.0;

double bessel_i0(double x) {
    double sum = 1;
    double term = 1;
    for (int k = 1; k < 40; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
        if (term < sum * 1e-12) {
            break;
        }
    }
    return sum;
}

std::size_t bytes_per_sample(SampleEncoding encoding) {
    return encoding == SampleEncoding::kInt16 ? 2 : 4;
}

}  // namespace

SampleConversion::SampleConversion(DeviceFormat format)
    : format_(format),
      frame_bytes_(bytes_per_sample(format.encoding) * static_cast<std::size_t>(format.channels)) {
    // The narrower of the two rates bounds what can pass: the band ends at
    // its half, and the filter's slope lies just below that, so what lies
    // above comes back (or out) at least kStopDecibels down.
    const double narrower = std::min(format.rate, kCaptureRate);
    const double band_end = narrower / 2;
    const double slope = 0.09 * narrower;
    const double cutoff = (band_end - slope / 2) / format.rate;  // per input frame
    kernel_reach_ = (kStopDecibels - 8) / (2.285 * 2 * std::numbers::pi * slope / format.rate) / 2;
    delay_ = static_cast<int>(std::ceil(kernel_reach_));
    const auto points = static_cast<std::size_t>(std::ceil(kernel_reach_ * kTableSteps)) + 2;
    kernel_.resize(points);
    for (std::size_t i = 0; i < points; ++i) {
        const double at = static_cast<double>(i) / kTableSteps;
        if (at >= kernel_reach_) {
            kernel_[i] = 0;
            continue;
        }
        const double x = 2 * std::numbers::pi * cutoff * at;
        const double sinc = at == 0 ? 1 : std::sin(x) / x;
        const double edge = at / kernel_reach_;
        const double window =
            bessel_i0(kKaiserBeta * std::sqrt(1 - edge * edge)) / bessel_i0(kKaiserBeta);
        kernel_[i] = static_cast<float>(2 * cutoff * sinc * window);
    }
    history_.assign(static_cast<std::size_t>(2 * delay_), 0.0f);

    place_step_ = std::gcd<std::int64_t>(format.rate, kCaptureRate);
    const std::int64_t places = kCaptureRate / place_step_;
    if (places <= kMostPlaces) {
        const std::size_t taps = static_cast<std::size_t>(2 * delay_) + 1;
        place_weights_.resize(static_cast<std::size_t>(places) * taps);
        for (std::int64_t place = 0; place < places; ++place) {
            const double fraction = static_cast<double>(place * place_step_) / kCaptureRate;
            float* weights = place_weights_.data() + static_cast<std::size_t>(place) * taps;
            double sum = 0;
            for (std::size_t j = 0; j < taps; ++j) {
                sum += kernel_at(static_cast<double>(j) - delay_ - fraction);
            }
            for (std::size_t j = 0; j < taps; ++j) {
                weights[j] =
                    static_cast<float>(kernel_at(static_cast<double>(j) - delay_ - fraction) / sum);
            }
        }
    }
}

float SampleConversion::kernel_at(double distance) const {
    const double at = std::abs(distance) * kTableSteps;
    if (at > static_cast<double>(kernel_.size() - 2)) {
        return 0;
    }
    const auto point = static_cast<std::size_t>(at);
    const double between = at - static_cast<double>(point);
    return static_cast<float>(kernel_[point] + (kernel_[point + 1] - kernel_[point]) * between);
}

float SampleConversion::mono_sample(const unsigned char* frame) const {
    double sum = 0;
    for (int channel = 0; channel < format_.channels; ++channel) {
        switch (format_.encoding) {
            case SampleEncoding::kFloat32: {
                float value;
                std::memcpy(&value, frame + 4 * channel, 4);
                // Not a number is no sound; it must not spread through the filter.
                sum += std::isfinite(value) ? value : 0.0;
                break;
            }
            case SampleEncoding::kInt16: {
                std::int16_t value;
                std::memcpy(&value, frame + 2 * channel, 2);
                sum += value / 32768.0;
                break;
            }
            case SampleEncoding::kInt32: {
                std::int32_t value;
                std::memcpy(&value, frame + 4 * channel, 4);
                sum += value / 2147483648.0;
                break;
            }
        }
    }
    return static_cast<float>(sum / format_.channels);
}

void SampleConversion::convert(const void* data, std::size_t frames,
                               std::vector<std::int16_t>& out) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < frames; ++i) {
        take_in(mono_sample(bytes + i * frame_bytes_), out);
    }
}

void SampleConversion::convert_silence(std::size_t frames, std::vector<std::int16_t>& out) {
    for (std::size_t i = 0; i < frames; ++i) {
        take_in(0.0f, out);
    }
}

void SampleConversion::take_in(float mono, std::vector<std::int16_t>& out) {
    history_.push_back(mono);
    // Every output frame whose centre lies delay_ frames before the newest
    // input frame or earlier has all the input it needs.
    const std::size_t newest = history_.size() - 1;
    while (next_whole_ + static_cast<std::size_t>(2 * delay_) <= newest) {
        const double value = std::round(static_cast<double>(filtered()) * 32768.0);
        out.push_back(static_cast<std::int16_t>(std::clamp(value, -32768.0, 32767.0)));
        next_part_ += format_.rate;
        next_whole_ += static_cast<std::size_t>(next_part_ / kCaptureRate);
        next_part_ %= kCaptureRate;
    }
    // Only what the next output frame reaches back to is kept.
    if (next_whole_ > 4096) {
        history_.erase(history_.begin(),
                       history_.begin() + static_cast<std::ptrdiff_t>(next_whole_));
        next_whole_ = 0;
    }
}

float SampleConversion::filtered() const {
    // The output frame lies at next_whole_ + delay_ + fraction in history_;
    // each input frame is weighed by the kernel at its distance from there.
    const std::size_t taps = static_cast<std::size_t>(2 * delay_) + 1;
    const float* input = history_.data() + next_whole_;
    if (!place_weights_.empty()) {
        const float* weights =
            place_weights_.data() + static_cast<std::size_t>(next_part_ / place_step_) * taps;
        float sum = 0;
        for (std::size_t j = 0; j < taps; ++j) {
            sum += weights[j] * input[j];
        }
        return sum;
    }
    const double fraction = static_cast<double>(next_part_) / kCaptureRate;
    double sum = 0;
    double weights = 0;
    for (std::size_t j = 0; j < taps; ++j) {
        const double weight = kernel_at(static_cast<double>(j) - delay_ - fraction);
        sum += weight * input[j];
        weights += weight;
    }
    // Each place's weights together pass a steady level unchanged, so that
    // full scale stays full scale.
    return static_cast<float>(weights > 0 ? sum / weights : 0);
}

}  // namespace taperly
