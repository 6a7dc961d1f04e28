#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/simulator/scenario.h"

namespace taperly::sim {

// Plays a scenario against elapsed time: which moment is current, and which
// raw bytes and line closings have been reached.
class Timeline {
  public:
    // After the last step the last moment holds, or with `loop` the scenario
    // starts again (a scenario without any duration cannot loop and holds).
    Timeline(std::vector<Step> steps, bool loop);

    struct Reached {
        std::string raw;
        bool close = false;
        // The line is pulled for this many seconds.
        std::optional<double> unplug;
        bool operator==(const Reached&) const = default;
    };
    // Moves to `elapsed` seconds after the start. Once a close is reached
    // nothing after it is played.
    Reached advance_to(double elapsed);

    // A blank, quiet display before the first moment.
    const Moment& current() const { return current_; }
    // The number of the reception under way, 0 while nothing is heard.
    std::uint64_t reception() const { return current_.heard ? reception_ : 0; }
    // The scanner answers nothing.
    bool silent() const { return silent_; }
    // The scanner's remote speed, 0 while it is the line's own.
    int remote_speed() const { return remote_speed_; }
    // When the next step is due, in elapsed seconds; none while holding.
    std::optional<double> next_change() const;

  private:
    void enter(const Moment& moment);

    std::vector<Step> steps_;
    bool loop_ = false;
    std::size_t next_ = 0;
    double next_start_ = 0.0;
    bool closed_ = false;
    Moment current_;
    bool silent_ = false;
    int remote_speed_ = 0;
    std::uint64_t reception_ = 0;
};

}  // namespace taperly::sim
