#include "link/scanner_line.h"

#include "link/link_error.h"
#include "link/port_devices.h"
#include "link/scanner_link.h"

namespace taperly {

void ScannerLine::open(std::string_view port_text, std::string_view speed_text) {
    open_line(port_text, speed_text, std::nullopt);
}

void ScannerLine::open_or_keep_trying(std::string_view port_text, std::string_view speed_text,
                                      Time now) {
    open_line(port_text, speed_text, now);
}

void ScannerLine::open_line(std::string_view port_text, std::string_view speed_text,
                            std::optional<Time> retry_from) {
    close();
    port_number_ = port_number_to_open(port_text);
    // Named once: the status line tells it after every poll.
    line_name_ =
        "COM" + std::to_string(port_number_) + " (" + serial_device_for_port(port_number_) + ")";
    bits_per_second_ = line_settings_from_text(speed_text).bits_per_second;
    try {
        open_port();
    } catch (const LinkError& error) {
        if (!retry_from) {
            throw;
        }
        state_ = State::kRetrying;
        lost_reason_ = error.what();
        next_attempt_ = *retry_from + kRetryPace;
    }
}

void ScannerLine::open_port() {
    port_.open(port_number_, bits_per_second_);
    state_ = State::kOpen;
    has_been_open_ = true;
    lost_reason_.clear();
    last_attempt_error_.clear();
}

void ScannerLine::close() {
    close_scanner_port(port_);
    state_ = State::kClosed;
    has_been_open_ = false;
    lost_reason_.clear();
    last_attempt_error_.clear();
}

void ScannerLine::lost(const std::string& reason, Time now) {
    if (state_ != State::kOpen) {
        return;
    }
    lost_reason_ = reason;
    last_attempt_error_.clear();
    next_attempt_ = now;
    port_.close();
    state_ = State::kLost;
}

void ScannerLine::keep_trying() {
    if (state_ == State::kLost) {
        state_ = State::kRetrying;
    }
}

bool ScannerLine::retry(Time now) {
    if (state_ != State::kRetrying || now < next_attempt_) {
        return false;
    }
    next_attempt_ = now + kRetryPace;
    try {
        open_port();
    } catch (const LinkError& error) {
        last_attempt_error_ = error.what();
        return false;
    }
    return true;
}

}  // namespace taperly
