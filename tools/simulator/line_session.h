#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tools/simulator/command_log.h"
#include "tools/simulator/device_link.h"
#include "tools/simulator/paced_line.h"
#include "tools/simulator/pseudo_terminal.h"
#include "tools/simulator/scanner_replies.h"
#include "tools/simulator/timeline.h"

namespace taperly::sim {

// The scanner's side of the line: takes in commands, answers them from the
// current moment, plays the timeline's raw bytes and closing. Sleeps in
// poll() between events, so it costs nothing while nobody talks to it.
class LineSession {
  public:
    LineSession(PseudoTerminal& terminal, DeviceLink& link, Timeline& timeline, CommandLog& log,
                int bits_per_second, bool start_now);

    // Runs until the scenario closes the line (0) or the line fails (1,
    // with the reason on standard error).
    int run();

  private:
    using Clock = PacedLine::Clock;

    void start(Clock::time_point now);
    void advance(Clock::time_point now);
    void take_in(std::string_view bytes, Clock::time_point now);
    void answer(Clock::time_point now);
    void send(std::string_view bytes, Clock::time_point now);
    bool ready_to_close(Clock::time_point now);
    void unplug(double seconds, Clock::time_point now);
    void plug_back_in();
    bool unplugged() const { return plug_back_at_.has_value(); }
    // Taken in and answered, unless the scanner is silent or away.
    void send_reply(std::string reply, Clock::time_point now);
    int poll_timeout_ms(Clock::time_point now) const;

    PseudoTerminal& terminal_;
    DeviceLink& link_;
    Timeline& timeline_;
    CommandLog& log_;
    PacedLine line_;
    int bits_per_second_;
    ScannerResponder responder_;
    bool started_ = false;
    Clock::time_point start_{};
    bool closing_ = false;
    std::optional<Clock::time_point> close_by_;
    std::optional<Clock::time_point> plug_back_at_;
    bool told_full_ = false;
    std::string command_;
};

}  // namespace taperly::sim
