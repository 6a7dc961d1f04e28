#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace taperly {

// The serial line to the scanner, 8 data bits, no parity, one stop bit, raw
// bytes. Every operation returns at once; failures throw LinkError.
class ScannerPort {
  public:
    virtual ~ScannerPort() = default;

    // Opens COM port `port_number` at `bits_per_second`.
    virtual void open(int port_number, int bits_per_second) = 0;
    // Closes the port; closing a closed port does nothing.
    virtual void close() = 0;
    virtual bool is_open() const = 0;
    // Queues the bytes for sending.
    virtual void write(std::string_view bytes) = 0;
    // How many received bytes are waiting.
    virtual int pending_input_count() = 0;
    // Every waiting byte, one byte to one character.
    virtual std::string read_pending_input() = 0;
    // Called, from the event loop, when bytes have arrived; a port that
    // cannot tell leaves its replies to the next poll.
    virtual void on_input(std::function<void()> /*arrived*/) {}
    // Whether the end of a reply wakes the program (the default). While it
    // does not, what arrives waits, unannounced and unread, and comes with
    // the first reply that ends after waking is asked for again. A port that
    // cannot hold replies back announces them all; nothing is thrown.
    virtual void wake_at_reply_end(bool /*wake*/) {}
};

}  // namespace taperly
