#include "tools/simulator/line_session.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace taperly::sim {

namespace {

// Replies go out in slices at least this far apart: fine enough to split
// them across Taperly's reads, coarse enough to cost next to nothing.
constexpr auto kSliceTime = std::chrono::milliseconds(4);

// A command this long without its carriage return is not one; it is logged
// as it is and forgotten so the buffer cannot grow without end.
constexpr std::size_t kLongestCommand = 4096;

// Closing a pseudo-terminal throws away what the other end has not read yet;
// the close waits this long for it to be read, and looks this often.
constexpr auto kLongestCloseWait = std::chrono::seconds(2);
constexpr auto kCloseLook = std::chrono::milliseconds(10);

// What a reply sent at one speed looks like read at another: as many bytes,
// none of them a carriage return, so no reply can be made of them.
std::string garbled(std::string_view reply) {
    std::string bytes(reply);
    for (char& byte : bytes) {
        byte = static_cast<char>(0x80 | ((static_cast<unsigned char>(byte) * 7 + 0x55) & 0x7F));
    }
    return bytes;
}

}  // namespace

LineSession::LineSession(PseudoTerminal& terminal, DeviceLink& link, Timeline& timeline,
                         CommandLog& log, int bits_per_second, bool start_now)
    : terminal_(terminal),
      link_(link),
      timeline_(timeline),
      log_(log),
      line_(terminal.master(), bits_per_second),
      bits_per_second_(bits_per_second) {
    if (start_now) {
        start(Clock::now());
    }
}

int LineSession::run() {
    for (;;) {
        const Clock::time_point now = Clock::now();
        advance(now);
        if (plug_back_at_ && now >= *plug_back_at_) {
            plug_back_in();
        }
        if (!line_.send_due(now)) {
            std::fprintf(stderr, "taperly-scanner-sim: writing to the line failed: %s\n",
                         std::strerror(errno));
            return 1;
        }
        if (ready_to_close(now)) {
            terminal_.close();
            std::fprintf(stderr, "taperly-scanner-sim: the scenario closed the line\n");
            return 0;
        }
        pollfd watched{terminal_.master(), POLLIN, 0};
        if (line_.blocked()) {
            watched.events |= POLLOUT;
        }
        const int ready = ::poll(&watched, unplugged() ? 0 : 1, poll_timeout_ms(now));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::fprintf(stderr, "taperly-scanner-sim: poll failed: %s\n", std::strerror(errno));
            return 1;
        }
        if (unplugged()) {
            continue;
        }
        if (watched.revents & (POLLERR | POLLNVAL | POLLHUP)) {
            // The slave is held open here, so this is the system taking the line away.
            std::fprintf(stderr, "taperly-scanner-sim: the line failed\n");
            return 1;
        }
        if (watched.revents & POLLIN) {
            char bytes[4096];
            ssize_t count;
            while ((count = ::read(terminal_.master(), bytes, sizeof bytes)) > 0) {
                take_in(std::string_view(bytes, static_cast<std::size_t>(count)), Clock::now());
            }
            if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                std::fprintf(stderr, "taperly-scanner-sim: reading the line failed: %s\n",
                             std::strerror(errno));
                return 1;
            }
        }
    }
}

void LineSession::start(Clock::time_point now) {
    started_ = true;
    start_ = now;
    advance(now);
}

void LineSession::advance(Clock::time_point now) {
    if (!started_ || closing_) {
        return;
    }
    const Timeline::Reached reached =
        timeline_.advance_to(std::chrono::duration<double>(now - start_).count());
    if (!reached.raw.empty() && !unplugged()) {
        send(reached.raw, now);
    }
    if (reached.unplug) {
        unplug(*reached.unplug, now);
    }
    closing_ = reached.close;
}

void LineSession::unplug(double seconds, Clock::time_point now) {
    line_.reset(-1);
    terminal_.close();
    link_.remove();
    command_.clear();
    plug_back_at_ =
        now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    std::fprintf(stderr, "taperly-scanner-sim: the line is unplugged for %g s\n", seconds);
}

void LineSession::plug_back_in() {
    plug_back_at_.reset();
    terminal_.open_elsewhere();
    link_.point_at(terminal_.slave_path());
    line_.reset(terminal_.master());
    // Timed as the command log times commands, so the first poll after it
    // can be found there.
    std::fprintf(stderr, "taperly-scanner-sim: the line is back on %s at %.3f s\n",
                 terminal_.slave_path().c_str(), log_.seconds());
}

void LineSession::take_in(std::string_view bytes, Clock::time_point now) {
    for (const char byte : bytes) {
        if (!started_) {
            start(now);
        }
        command_.push_back(byte);
        if (byte == '\r') {
            answer(now);
        } else if (command_.size() >= kLongestCommand) {
            log_.command(command_);
            command_.clear();
        }
    }
}

void LineSession::answer(Clock::time_point now) {
    log_.command(command_);
    command_.pop_back();
    if (!closing_) {
        send_reply(responder_.answer(command_, timeline_.current(), timeline_.reception()), now);
    }
    command_.clear();
}

void LineSession::send_reply(std::string reply, Clock::time_point now) {
    if (timeline_.silent()) {
        return;
    }
    const int told = timeline_.remote_speed();
    const int remote = told == kPacedSpeed ? bits_per_second_ : told;
    if (remote != 0 && remote != terminal_.line_speed()) {
        reply = garbled(reply);
    }
    send(reply, now);
}

void LineSession::send(std::string_view bytes, Clock::time_point now) {
    if (!line_.queue(bytes, now) && !told_full_) {
        told_full_ = true;
        std::fprintf(stderr,
                     "taperly-scanner-sim: nobody reads the line; replies are being dropped\n");
    }
}

bool LineSession::ready_to_close(Clock::time_point now) {
    if (!closing_ || !(line_.idle() || line_.blocked())) {
        return false;
    }
    if (!close_by_) {
        close_by_ = now + kLongestCloseWait;
    }
    return line_.blocked() || terminal_.unread() == 0 || now >= *close_by_;
}

int LineSession::poll_timeout_ms(Clock::time_point now) const {
    std::optional<Clock::time_point> wake = plug_back_at_;
    if (close_by_) {
        wake = now + kCloseLook;
    }
    if (const auto due = line_.next_due()) {
        wake = std::max(*due, now + kSliceTime);
    }
    if (started_ && !closing_) {
        if (const auto change = timeline_.next_change()) {
            const auto at = start_ + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(*change));
            wake = wake ? std::min(*wake, at) : at;
        }
    }
    if (!wake) {
        return -1;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*wake - now).count();
    return static_cast<int>(std::clamp<long long>(wait, 0, 60 * 60 * 1000));
}

}  // namespace taperly::sim
