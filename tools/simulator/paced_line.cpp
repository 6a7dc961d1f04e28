#include "tools/simulator/paced_line.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace taperly::sim {

PacedLine::PacedLine(int fd, int bits_per_second)
    : fd_(fd),
      byte_time_(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
          10.0 / static_cast<double>(std::max(bits_per_second, 1))))) {
    if (byte_time_ <= Clock::duration::zero()) {
        byte_time_ = Clock::duration(1);
    }
}

bool PacedLine::queue(std::string_view bytes, Clock::time_point now) {
    if (idle()) {
        pending_.clear();
        sent_ = 0;
        // An idle line starts now; a busy one carries on at its own pace.
        next_byte_ = std::max(next_byte_, now);
    }
    if (pending_.size() - sent_ + bytes.size() > kMostQueued) {
        return false;
    }
    pending_.append(bytes);
    return true;
}

bool PacedLine::send_due(Clock::time_point now) {
    while (!idle() && now >= next_byte_) {
        const auto due = static_cast<std::size_t>((now - next_byte_) / byte_time_) + 1;
        const std::size_t count = std::min(due, pending_.size() - sent_);
        const ssize_t written = ::write(fd_, pending_.data() + sent_, count);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                blocked_ = true;
                return true;
            }
            return false;
        }
        blocked_ = static_cast<std::size_t>(written) < count;
        sent_ += static_cast<std::size_t>(written);
        next_byte_ += byte_time_ * written;
        if (blocked_) {
            return true;
        }
    }
    if (idle()) {
        pending_.clear();
        sent_ = 0;
    }
    return true;
}

void PacedLine::reset(int fd) {
    fd_ = fd;
    pending_.clear();
    sent_ = 0;
    blocked_ = false;
}

std::optional<PacedLine::Clock::time_point> PacedLine::next_due() const {
    if (idle() || blocked_) {
        return std::nullopt;
    }
    return next_byte_;
}

}  // namespace taperly::sim
