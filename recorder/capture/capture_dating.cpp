#include "recorder/capture/capture_dating.h"

#include <algorithm>

namespace taperly {

namespace {

constexpr std::chrono::seconds kBucket{1};
// Long enough to hold a piece that came without waiting, short enough that a
// sound clock running a little slow moves the dates by a fraction of a
// millisecond at most.
constexpr std::chrono::seconds kRemembered{10};

}  // namespace

CaptureDating::Clock::duration CaptureDating::span_of(std::uint64_t frames) const {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(frames) / rate_));
}

void CaptureDating::arrived(std::size_t frames, Clock::time_point at) {
    frames_ += frames;
    const Clock::time_point began = at - span_of(frames_);
    if (bounds_.empty() || at - bounds_.back().seen >= kBucket) {
        bounds_.push_back({at, began});
    } else {
        bounds_.back().began = std::min(bounds_.back().began, began);
    }
    while (at - bounds_.front().seen > kRemembered) {
        bounds_.pop_front();
    }
}

CaptureDating::Clock::time_point CaptureDating::newest() const {
    if (bounds_.empty()) {
        return {};
    }
    Clock::time_point began = bounds_.front().began;
    for (const Bound& bound : bounds_) {
        began = std::min(began, bound.began);
    }
    return began + span_of(frames_);
}

void CaptureDating::restart() {
    frames_ = 0;
    bounds_.clear();
}

}  // namespace taperly
