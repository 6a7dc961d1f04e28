#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace soundtouch {
class SoundTouch;
}

namespace taperly {

// Plays sound faster without raising its pitch, and at another rate than
// it was recorded at, through SoundTouch: mono 16-bit frames in, frames at
// the output's rate out.
class Stretcher {
  public:
    Stretcher();
    ~Stretcher();
    Stretcher(const Stretcher&) = delete;
    Stretcher& operator=(const Stretcher&) = delete;

    // Sound at `from_rate` is put in, `speed` times as fast at `to_rate` comes
    // out. May change between two puts; what is held goes on at the new pace.
    void set(double speed, int from_rate, int to_rate);
    void put(std::span<const std::int16_t> frames);
    // Takes what is ready, at most into.size() frames.
    std::size_t take(std::span<std::int16_t> into);
    // Makes what was put in ready to take, as no more is coming.
    void finish();
    // Forgets everything put in and not yet taken.
    void clear();
    // Whether something put in has not been taken out yet.
    bool holds() const;
    // How many frames of what was put in (at its rate) are not heard yet:
    // held unprocessed, or processed and not taken.
    double behind() const;

  private:
    std::unique_ptr<soundtouch::SoundTouch> touch_;
    double ratio_ = 1;
    bool put_since_clear_ = false;
    std::vector<float> samples_;
};

}  // namespace taperly
