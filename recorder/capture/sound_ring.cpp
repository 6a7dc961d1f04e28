#include "recorder/capture/sound_ring.h"

#include <algorithm>

namespace taperly {

std::size_t frames_since(std::size_t count, int sample_rate, std::chrono::milliseconds newest_at,
                         std::chrono::milliseconds from) {
    if (count == 0 || from > newest_at) {
        return 0;
    }
    const long long since = (newest_at - from).count() * sample_rate / 1000 + 1;
    return std::min<std::size_t>(count, static_cast<std::size_t>(since));
}

SoundRing::SoundRing(int sample_rate, std::chrono::milliseconds longest)
    : rate_(sample_rate),
      frames_(
          static_cast<std::size_t>(std::max<long long>(1, longest.count() * sample_rate / 1000))) {}

void SoundRing::add(std::span<const std::int16_t> frames, std::chrono::milliseconds newest_at) {
    newest_at_ = newest_at;
    // Only the newest that fit are ever handed over.
    if (frames.size() > frames_.size()) {
        frames = frames.last(frames_.size());
    }
    const std::size_t to_end = std::min(frames.size(), frames_.size() - next_);
    std::copy_n(frames.begin(), to_end, frames_.begin() + static_cast<std::ptrdiff_t>(next_));
    std::copy(frames.begin() + static_cast<std::ptrdiff_t>(to_end), frames.end(), frames_.begin());
    next_ = (next_ + frames.size()) % frames_.size();
    held_ = std::min(frames_.size(), held_ + frames.size());
}

void SoundRing::hand_over_since(std::chrono::milliseconds from, const Sink& sink) {
    // The newest frame is dated newest_at_, each older one a sample's time
    // before the next: the frames since `from` are the newest few.
    const std::size_t count = frames_since(held_, rate_, newest_at_, from);
    const std::size_t first = (next_ + frames_.size() - count) % frames_.size();
    const std::size_t to_end = std::min(count, frames_.size() - first);
    const std::span<const std::int16_t> all(frames_);
    if (to_end != 0) {
        sink(all.subspan(first, to_end));
    }
    if (count > to_end) {
        sink(all.first(count - to_end));
    }
    clear();
}

}  // namespace taperly
