#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace taperly::sim {

// Sends bytes no faster than a serial line at the given speed would carry
// them (ten bit times a byte: start, 8 data bits, stop), so a reply reaches
// the other end in pieces as it does from the scanner.
class PacedLine {
  public:
    using Clock = std::chrono::steady_clock;

    PacedLine(int fd, int bits_per_second);

    // Queues bytes behind those still going out. Returns false when the
    // queue is full (the other end has not read for a long time) and the
    // bytes were dropped.
    bool queue(std::string_view bytes, Clock::time_point now);
    // Writes what is due by `now`. False when the line fails.
    bool send_due(Clock::time_point now);

    bool idle() const { return sent_ == pending_.size(); }
    // The other end's buffer is full; wait until the line takes bytes again.
    bool blocked() const { return blocked_; }
    // The line is now `fd` (-1: none) and nothing queued goes out.
    void reset(int fd);
    // When the next byte is due; none when idle or blocked.
    std::optional<Clock::time_point> next_due() const;

    // The most bytes waiting to go out before new ones are dropped.
    static constexpr std::size_t kMostQueued = 64 * 1024;

  private:
    int fd_;
    Clock::duration byte_time_;
    std::string pending_;
    std::size_t sent_ = 0;
    Clock::time_point next_byte_{};
    bool blocked_ = false;
};

}  // namespace taperly::sim
