#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "link/scanner_port.h"

namespace taperly {

// The serial line's life during a run: closed, open, or lost and opened
// again at a steady pace until it comes back. Nobody may be at the computer
// when an adapter is pulled or re-enumerated, so a line lost during a run is
// not given up. Times are steady milliseconds from the caller's clock.
class ScannerLine {
  public:
    using Time = std::chrono::milliseconds;
    // kLost: gone, and whoever runs the line has not yet answered the loss
    // (saved what was being recorded); kRetrying: answered, or never opened.
    enum class State { kClosed, kOpen, kLost, kRetrying };

    // At most one attempt a second: a device that is gone costs nothing.
    static constexpr Time kRetryPace{1000};

    explicit ScannerLine(ScannerPort& port) : port_(port) {}

    // Opens the port the two list texts name. Throws LinkError, leaving the
    // line closed: whoever pressed Run is there to act.
    void open(std::string_view port_text, std::string_view speed_text);
    // Opens it as open() does when nobody may be there: a port that cannot be
    // opened is tried again at `now` + kRetryPace and then every kRetryPace,
    // as a lost line is. Texts that name no port or speed still throw.
    void open_or_keep_trying(std::string_view port_text, std::string_view speed_text, Time now);
    void close();
    // The line went away, whoever noticed it: the port reporting it, or a
    // write or read that failed. What is left of it is closed and the same
    // COM port is tried again from `now`, then every kRetryPace. Only the
    // first word of a loss counts: what fails after it is the same loss, told
    // worse ("the port is not open").
    void lost(const std::string& reason, Time now);
    // The loss has been answered; from now the line is only tried again.
    void keep_trying();
    // While retrying, makes the attempt that is due, if one is; true when the
    // line is open again. A loss not yet answered is not retried, so what it
    // cut is saved before the line can bring anything new. The device is
    // looked up anew at every attempt, so a link that now names another
    // device is followed.
    bool retry(Time now);

    State state() const { return state_; }
    bool is_open() const { return state_ == State::kOpen; }
    bool is_lost() const { return state_ == State::kLost || state_ == State::kRetrying; }
    // Whether the line was ever open since it was last opened or closed: a
    // line being tried may be lost or not have come up yet.
    bool has_been_open() const { return has_been_open_; }
    int port_number() const { return port_number_; }
    int bits_per_second() const { return bits_per_second_; }
    // "COM1 (/dev/ttyUSB0)": the port and the device it named when chosen.
    const std::string& line_name() const { return line_name_; }
    // Why the line was lost, and why the last attempt to open it failed.
    const std::string& lost_reason() const { return lost_reason_; }
    const std::string& last_attempt_error() const { return last_attempt_error_; }

  private:
    // Without `retry_from` a port that cannot be opened throws.
    void open_line(std::string_view port_text, std::string_view speed_text,
                   std::optional<Time> retry_from);
    // Throws LinkError, leaving the port closed.
    void open_port();

    ScannerPort& port_;
    State state_ = State::kClosed;
    bool has_been_open_ = false;
    int port_number_ = 0;
    std::string line_name_ = "COM0 ()";
    int bits_per_second_ = 0;
    Time next_attempt_{0};
    std::string lost_reason_;
    std::string last_attempt_error_;
};

}  // namespace taperly
