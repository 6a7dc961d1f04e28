#pragma once

#include <chrono>

namespace taperly {

// How much sound the output may be given now: what it holds ahead, and
// after that no faster than sound is heard. A sound server's own figures are
// not enough: a null sink waking up asks for many seconds at once and says
// in an instant they were heard; given them, a list was read out in a few
// seconds and its end shown while its first takes were still due.
class OutputPace {
  public:
    using Clock = std::chrono::steady_clock;

    explicit OutputPace(double ahead_seconds) : ahead_seconds_(ahead_seconds) {}

    // An output that holds nothing: just opened, or what it held dropped.
    void restart(int rate, Clock::time_point now);
    // The frames of `room` it may be given now.
    long allowed(long room, Clock::time_point now);
    // `frames` were given.
    void given(long frames);
    // Of what was given, the frames the clock says are still to be heard:
    // at least what the output holds, whatever it says (a null sink says at
    // once it heard seconds it was given).
    long unheard(Clock::time_point now) const;

  private:
    double free_at(Clock::time_point now) const;

    double ahead_seconds_;
    int rate_ = 0;
    // Frames that may go out now: what the output holds ahead less what
    // was given and not yet heard by the clock.
    double free_ = 0;
    Clock::time_point since_{};
};

}  // namespace taperly
