#include "playback/output_pace.h"

#include <algorithm>
#include <cmath>

namespace taperly {

namespace {

// A sound device's clock may run a little fast against the machine's (by
// hundredths of a percent): it is fed two tenths of a percent faster than
// the machine's clock, and its room holds it back. An output that takes
// whatever it is given at once (a null sink) is shown heard this much fast.
constexpr double kFaster = 1.002;

}  // namespace

void OutputPace::restart(int rate, Clock::time_point now) {
    rate_ = rate;
    free_ = ahead_seconds_ * rate;
    since_ = now;
}

long OutputPace::allowed(long room, Clock::time_point now) {
    free_ = free_at(now);
    since_ = std::max(since_, now);
    return std::clamp(room, 0L, std::max(0L, static_cast<long>(std::floor(free_))));
}

long OutputPace::unheard(Clock::time_point now) const {
    return std::max(0L, std::lround(ahead_seconds_ * rate_ - free_at(now)));
}

double OutputPace::free_at(Clock::time_point now) const {
    if (now <= since_) {
        return free_;
    }
    const double heard = std::chrono::duration<double>(now - since_).count() * rate_ * kFaster;
    return std::min(free_ + heard, ahead_seconds_ * rate_);
}

void OutputPace::given(long frames) {
    free_ -= static_cast<double>(frames);
}

}  // namespace taperly
