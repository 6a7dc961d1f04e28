#pragma once

#include <cstddef>
#include <string>

namespace taperly::sim {

// A pseudo-terminal in raw mode. The master is the scanner's end; the slave
// is the serial device Taperly opens. The slave stays open here too, so the
// master never sees a hang-up while Taperly closes and reopens the port.
class PseudoTerminal {
  public:
    // Throws std::system_error when the system has no pseudo-terminal to give.
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int master() const { return master_; }
    const std::string& slave_path() const { return slave_path_; }
    // Bytes sent that the other end has not read yet.
    std::size_t unread() const;
    // Ends the line: the other end sees it hang up.
    void close();
    // After a close: a new line on another device path than the last one,
    // as an adapter plugged in again comes back as another device.
    void open_elsewhere();
    // The speed the other end has set the line to, in bit/s (0 if unknown).
    int line_speed() const;

  private:
    void open_new();

    int master_ = -1;
    int slave_ = -1;
    std::string slave_path_;
};

}  // namespace taperly::sim
