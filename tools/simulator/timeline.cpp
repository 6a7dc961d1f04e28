#include "tools/simulator/timeline.h"

#include <type_traits>

namespace taperly::sim {

Timeline::Timeline(std::vector<Step> steps, bool loop) : steps_(std::move(steps)) {
    bool any_duration = false;
    for (const Step& step : steps_) {
        any_duration = any_duration || std::holds_alternative<Moment>(step) ||
                       std::holds_alternative<Silence>(step) ||
                       std::holds_alternative<Unplug>(step);
    }
    loop_ = loop && any_duration;
}

Timeline::Reached Timeline::advance_to(double elapsed) {
    Reached reached;
    while (!closed_) {
        if (next_ == steps_.size()) {
            if (!loop_) {
                break;
            }
            next_ = 0;
        }
        if (next_start_ > elapsed) {
            break;
        }
        std::visit(
            [&](const auto& step) {
                using Kind = std::decay_t<decltype(step)>;
                if constexpr (std::is_same_v<Kind, Moment>) {
                    enter(step);
                    next_start_ += step.seconds;
                } else if constexpr (std::is_same_v<Kind, RawBytes>) {
                    reached.raw += step.bytes;
                } else if constexpr (std::is_same_v<Kind, Silence>) {
                    silent_ = true;
                    next_start_ += step.seconds;
                } else if constexpr (std::is_same_v<Kind, Unplug>) {
                    reached.unplug = step.seconds;
                    next_start_ += step.seconds;
                } else if constexpr (std::is_same_v<Kind, RemoteSpeed>) {
                    remote_speed_ = step.bits_per_second;
                } else {
                    reached.close = true;
                    closed_ = true;
                }
            },
            steps_[next_++]);
    }
    return reached;
}

void Timeline::enter(const Moment& moment) {
    const bool new_reception =
        moment.heard && (!current_.heard || current_.identity != moment.identity);
    if (new_reception) {
        ++reception_;
    }
    current_ = moment;
    silent_ = false;
}

std::optional<double> Timeline::next_change() const {
    if (closed_ || (next_ == steps_.size() && !loop_)) {
        return std::nullopt;
    }
    return next_start_;
}

}  // namespace taperly::sim
