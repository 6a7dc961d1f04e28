#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>

namespace taperly {

// Dates captured sound from the moments its pieces reach the process. A
// piece arrives only after its last sample was captured, so every arrival
// bounds the moment the stream began from above; the least bound of the last
// ten seconds is taken. A piece that waited (a reader that came late, a busy
// thread) so moves no date, and a date is never earlier than the sound it
// dates, which is the safe side for a take's start.
class CaptureDating {
  public:
    using Clock = std::chrono::steady_clock;

    explicit CaptureDating(int sample_rate) : rate_(sample_rate) {}

    // `frames` more arrived at `at`, following the earlier ones without a gap.
    void arrived(std::size_t frames, Clock::time_point at);
    // When the newest frame so far was captured, at the latest; the epoch
    // before any arrived.
    Clock::time_point newest() const;
    // Frames were lost on the way: the stream's count no longer tells time.
    void restart();

  private:
    struct Bound {
        Clock::time_point seen;
        Clock::time_point began;
    };

    Clock::duration span_of(std::uint64_t frames) const;

    int rate_;
    std::uint64_t frames_ = 0;
    // The least bound of each second, oldest first.
    std::deque<Bound> bounds_;
};

}  // namespace taperly
