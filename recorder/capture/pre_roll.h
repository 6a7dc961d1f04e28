#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "recorder/capture/sound_ring.h"

namespace taperly {

// How the recorder keeps sound between takes, so that a take begins where the
// scanner last heard nothing instead of at the status reply that said it hears.
struct PreRollSettings {
    // Off: capture runs only during takes, and a take begins at its first
    // "Record".
    bool enabled = false;
    // Taken off the moment the scanner last heard nothing: the reply may
    // have been read a little after it arrived, and a line may carry it a
    // little slower than its speed.
    std::chrono::milliseconds margin{0};
    // The steady clock, on the scale of the line's times and the capture's.
    std::function<std::chrono::milliseconds()> now;
    // How often a sound input that is gone is looked for again between takes.
    std::chrono::milliseconds retry_every{1000};
};

// The sound kept between takes and the rule of where a take begins in it:
// after the moment the scanner last said it heard nothing, less the margin;
// never more than the reach (and the margin) before the take's first
// "Record"; never before the previous take's end, because the ring is
// emptied then.
class PreRoll {
  public:
    explicit PreRoll(std::chrono::milliseconds margin) : margin_(margin) {}

    // A run begins: sound is kept for a take that may reach `reach` back.
    void begin(int sample_rate, std::chrono::milliseconds reach);
    void end();
    bool on() const { return ring_.has_value(); }

    void keep(std::span<const std::int16_t> frames, std::chrono::milliseconds newest_at);
    // The scanner said it heard nothing in a reply sent at `sent`.
    void heard_nothing_at(std::chrono::milliseconds sent) { quiet_since_ = sent; }
    // When the scanner last said it heard nothing, if it said so at all.
    std::optional<std::chrono::milliseconds> quiet_since() const { return quiet_since_; }
    std::chrono::milliseconds margin() const { return margin_; }
    // A take's first "Record" at `now`: hands `sink` the sound it begins
    // with, and returns the moment the take begins at (sound of that moment
    // or later that comes afterwards is the take's too, and older is not).
    std::chrono::milliseconds hand_over(std::chrono::milliseconds now, const SoundRing::Sink& sink);
    // A take ended: nothing captured until now may begin the next one.
    void forget();

  private:
    std::chrono::milliseconds margin_;
    std::chrono::milliseconds reach_{0};
    std::optional<SoundRing> ring_;
    std::optional<std::chrono::milliseconds> quiet_since_;
};

}  // namespace taperly
