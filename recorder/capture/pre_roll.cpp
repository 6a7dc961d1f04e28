#include "recorder/capture/pre_roll.h"

#include <algorithm>

namespace taperly {

namespace {

// Room beyond the reach for sound that reaches the ring a little late.
constexpr std::chrono::milliseconds kSlack{500};

}  // namespace

void PreRoll::begin(int sample_rate, std::chrono::milliseconds reach) {
    reach_ = reach;
    ring_.emplace(sample_rate, reach + margin_ + kSlack);
    quiet_since_.reset();
}

void PreRoll::end() {
    ring_.reset();
    quiet_since_.reset();
}

void PreRoll::keep(std::span<const std::int16_t> frames, std::chrono::milliseconds newest_at) {
    if (ring_) {
        ring_->add(frames, newest_at);
    }
}

std::chrono::milliseconds PreRoll::hand_over(std::chrono::milliseconds now,
                                             const SoundRing::Sink& sink) {
    // A missed reply or a long quiet must not open a take with seconds of
    // noise: the reach bounds it whatever the scanner said last.
    std::chrono::milliseconds from = now - reach_ - margin_;
    if (quiet_since_) {
        from = std::max(from, *quiet_since_ - margin_);
    }
    if (ring_) {
        ring_->hand_over_since(from, sink);
    }
    return from;
}

void PreRoll::forget() {
    if (ring_) {
        ring_->clear();
    }
}

}  // namespace taperly
