#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace taperly {

// How many of `count` frames in a row, the newest captured at `newest_at`,
// were captured at `from` or later, each dated a sample's time before the
// next.
std::size_t frames_since(std::size_t count, int sample_rate, std::chrono::milliseconds newest_at,
                         std::chrono::milliseconds from);

// The newest stretch of captured sound, each frame dated by counting back
// from the newest at the sample rate. Holds at most `longest` of sound: what
// is older falls out as more comes, so memory stays the same however long
// the scanner is quiet.
class SoundRing {
  public:
    using Sink = std::function<void(std::span<const std::int16_t> frames)>;

    SoundRing(int sample_rate, std::chrono::milliseconds longest);

    // Frames that follow those held; the newest of them was captured at
    // `newest_at` (on the steady clock's scale, as the line's times are).
    void add(std::span<const std::int16_t> frames, std::chrono::milliseconds newest_at);
    // Hands `sink` every frame captured at or after `from`, oldest first, and
    // holds nothing afterwards.
    void hand_over_since(std::chrono::milliseconds from, const Sink& sink);
    // Holds nothing: sound captured until now may not begin a take.
    void clear() { held_ = 0; }
    std::size_t held() const { return held_; }

  private:
    int rate_;
    std::vector<std::int16_t> frames_;
    // Where the next frame goes, and how many are held behind it.
    std::size_t next_ = 0;
    std::size_t held_ = 0;
    std::chrono::milliseconds newest_at_{0};
};

}  // namespace taperly
