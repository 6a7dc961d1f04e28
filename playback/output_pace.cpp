#include "playback/output_pace.h"

#include <algorithm>
#include <cmath>

namespace taperly {

namespace {

// A sound device's clock may run a little fast against the machine's: it
// is fed a little faster than the machine's clock says, and its room holds
// it back.
constexpr double kFaster = 1.02;

}  // namespace

void OutputPace::restart(int rate, Clock::time_point now) {
    rate_ = rate;
    free_ = ahead_seconds_ * rate;
    since_ = now;
}

long OutputPace::allowed(long room, Clock::time_point now) {
    if (now > since_) {
        const double heard = std::chrono::duration<double>(now - since_).count() * rate_ * kFaster;
        free_ = std::min(free_ + heard, ahead_seconds_ * rate_);
        since_ = now;
    }
    return std::clamp(room, 0L, std::max(0L, static_cast<long>(std::floor(free_))));
}

void OutputPace::given(long frames) {
    free_ -= static_cast<double>(frames);
}

}  // namespace taperly
