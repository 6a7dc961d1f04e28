#include "playback/stretcher.h"

#include <soundtouch/SoundTouch.h>

#include <algorithm>
#include <cmath>

namespace taperly {

namespace {

// SoundTouch as Debian builds it works on floats.
static_assert(sizeof(soundtouch::SAMPLETYPE) == sizeof(float));

}  // namespace

Stretcher::Stretcher() : touch_(std::make_unique<soundtouch::SoundTouch>()) {
    touch_->setChannels(1);
    touch_->setSampleRate(22050);
    // Speech: shorter sequences than music's keep syllables clear at 2x.
    touch_->setSetting(SETTING_SEQUENCE_MS, 40);
    touch_->setSetting(SETTING_SEEKWINDOW_MS, 15);
    touch_->setSetting(SETTING_OVERLAP_MS, 8);
}

Stretcher::~Stretcher() = default;

void Stretcher::set(double speed, int from_rate, int to_rate) {
    touch_->setSampleRate(static_cast<unsigned>(from_rate));
    touch_->setTempo(speed);
    touch_->setRate(static_cast<double>(from_rate) / to_rate);
    ratio_ = speed * from_rate / to_rate;
}

void Stretcher::put(std::span<const std::int16_t> frames) {
    samples_.resize(frames.size());
    std::transform(frames.begin(), frames.end(), samples_.begin(),
                   [](std::int16_t sample) { return static_cast<float>(sample) / 32768.0f; });
    touch_->putSamples(samples_.data(), static_cast<unsigned>(frames.size()));
    put_since_clear_ = true;
}

std::size_t Stretcher::take(std::span<std::int16_t> into) {
    samples_.resize(into.size());
    const unsigned got =
        touch_->receiveSamples(samples_.data(), static_cast<unsigned>(into.size()));
    for (unsigned i = 0; i < got; ++i) {
        const float scaled = std::round(samples_[i] * 32768.0f);
        into[i] = static_cast<std::int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
    }
    return got;
}

void Stretcher::finish() {
    if (touch_->numUnprocessedSamples() > 0 || put_since_clear_) {
        touch_->flush();
    }
    put_since_clear_ = false;
}

void Stretcher::clear() {
    touch_->clear();
    put_since_clear_ = false;
}

bool Stretcher::holds() const {
    return put_since_clear_ || touch_->numSamples() > 0;
}

double Stretcher::behind() const {
    return touch_->numUnprocessedSamples() + touch_->numSamples() * ratio_;
}

}  // namespace taperly
