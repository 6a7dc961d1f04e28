#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <functional>
#include <list>
#include <memory>
#include <string>
#include <string_view>

#include "link/link_error.h"
#include "link/scanner_port.h"

class QTimer;
class QWinEventNotifier;

namespace taperly {

// The scanner's serial line over the Windows communications calls: 8 data
// bits, no parity, one stop bit, no flow control. Bytes are taken in by a
// one-byte overlapped read that the event loop watches, then everything else
// that waits; Wine completes neither a larger overlapped read nor
// WaitCommEvent on its lines, and this works on both. A line that goes away
// while open is closed at its first error and reported once through
// `on_link_lost` at that moment, which may be inside a write or read of this
// class: the receiver takes note and acts once that call is over.
class WindowsScannerPort : public ScannerPort {
  public:
    explicit WindowsScannerPort(std::function<void(const std::string& reason)> on_link_lost);
    ~WindowsScannerPort() override;

    WindowsScannerPort(const WindowsScannerPort&) = delete;
    WindowsScannerPort& operator=(const WindowsScannerPort&) = delete;

    void open(int port_number, int bits_per_second) override;
    void close() override;
    bool is_open() const override;
    void write(std::string_view bytes) override;
    int pending_input_count() override;
    std::string read_pending_input() override;
    void on_input(std::function<void()> arrived) override;

  private:
    // One write on its way: the system fills in its OVERLAPPED and reads its
    // bytes until it completes, so both stay where they are until then.
    struct QueuedWrite {
        OVERLAPPED overlapped{};
        std::string bytes;
    };

    void configure_line(int bits_per_second);
    // Starts the read of the next byte; false when the line refused it.
    bool start_byte_read();
    // Takes in what has arrived: the byte read and everything waiting behind
    // it, or, while a reply gathers, what has gathered. True when bytes came.
    bool take_in_arrived_bytes();
    // Mid-reply, lets the rest of it gather for a moment; otherwise waits
    // for the next byte. False when the line was lost.
    bool wait_for_more(bool mid_reply);
    // Reads every byte the line counts as waiting. False when the line was
    // lost.
    bool read_waiting_bytes();
    void on_read_signalled();
    void on_gathered();
    void report_input();
    // Forgets the writes the line has finished; false when one failed (and
    // the line has been reported lost).
    bool reap_finished_writes();
    void close_handles();
    void lose_line(const std::string& what);
    void require_open(const char* doing) const;
    std::string line_name() const;
    LinkError open_failure(const std::string& reason) const;

    std::function<void(const std::string& reason)> on_link_lost_;
    std::function<void()> on_input_;
    int port_number_ = 0;
    std::string device_;
    HANDLE line_ = INVALID_HANDLE_VALUE;
    OVERLAPPED read_{};
    char read_byte_ = 0;
    bool read_pending_ = false;
    std::unique_ptr<QWinEventNotifier> read_notifier_;
    // The reads of waiting bytes, which nothing watches.
    OVERLAPPED drain_{};
    // While it runs, no read waits: the rest of a reply gathers in the line.
    std::unique_ptr<QTimer> gather_timer_;
    char last_byte_ = '\r';
    std::list<QueuedWrite> writes_;
    // What has arrived and the caller has not read yet.
    std::string arrived_;
};

}  // namespace taperly
