#include "recorder/take_edges.h"

#include <algorithm>

#include "recorder/capture/sound_ring.h"

namespace taperly {

namespace {

// How many of `count` frames, the newest captured at `newest_at`, were
// captured at `moment` or before: dated back at the sample rate, as the
// ring dates them.
std::size_t frames_until(std::size_t count, int rate, std::chrono::milliseconds newest_at,
                         std::chrono::milliseconds moment) {
    if (newest_at <= moment) {
        return count;
    }
    const long long later = ((newest_at - moment).count() * rate + 999) / 1000;
    return count - std::min<std::size_t>(count, static_cast<std::size_t>(later));
}

}  // namespace

void TakeEdges::add(Frames frames, std::chrono::milliseconds newest_at, const Write& write) {
    if (cut_before_) {
        frames = frames.last(frames_since(frames.size(), rate_, newest_at, *cut_before_));
        if (frames.empty()) {
            return;
        }
        cut_before_.reset();
    }
    held_.insert(held_.end(), frames.begin(), frames.end());
    held_newest_at_ = newest_at;
    const std::size_t due = frames_until(held_.size(), rate_, newest_at, newest_at - hold_for_);
    if (due > 0) {
        write(Frames(held_).first(due));
        held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(due));
    }
}

void TakeEdges::end(std::optional<std::chrono::milliseconds> ends_at, const Write& write,
                    const Keep& keep) {
    const Frames held(held_);
    const std::size_t kept =
        ends_at ? frames_until(held.size(), rate_, held_newest_at_, *ends_at) : held.size();
    if (kept > 0) {
        write(held.first(kept));
    }
    if (kept < held.size()) {
        keep(held.last(held.size() - kept), held_newest_at_);
    }
    held_.clear();
    cut_before_.reset();
}

}  // namespace taperly
