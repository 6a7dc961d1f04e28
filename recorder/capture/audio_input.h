#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace taperly {

// Captured sound is 16-bit mono PCM at this rate: the takes' own, so that
// nothing is converted on the way to a take.
inline constexpr int kCaptureRate = 22050;

// Receives captured sound: 16-bit mono PCM frames at kCaptureRate, in order, and
// when the newest of them was captured, at the latest (on the steady clock's
// scale in milliseconds, as the line's times are).
using FrameSink =
    std::function<void(std::span<const std::int16_t> frames, std::chrono::milliseconds newest_at)>;

// A sound input the recorder captures from. Every call returns at once and
// reports trouble only through its result.
class AudioInput {
  public:
    virtual ~AudioInput() = default;

    // Whether there is an input to record from right now.
    virtual bool available() = 0;
    // Starts delivering frames to the sink, from the event loop now and then
    // (a few times a second at least); false when capture cannot start.
    virtual bool start(FrameSink sink) = 0;
    // Delivers what is already captured now.
    virtual void deliver_pending() = 0;
    // Delivers what is captured up to this moment, also what the capture has
    // not taken in yet (a take's end must not wait for its next pass).
    virtual void deliver_up_to_now() { deliver_pending(); }
    // Delivers what is already captured, then ends capture.
    virtual void stop() = 0;
    // Whether frames are still being captured (false after the input died).
    virtual bool running() const = 0;
    // How much later than the sound they date its dates may be, at most.
    virtual std::chrono::milliseconds date_spread() const { return std::chrono::milliseconds(0); }
    // Sound is wanted promptly only during a take; between takes it may come
    // in larger pieces, which wakes the sound server and this program less.
    virtual void set_in_take(bool) {}
    // Why the last available() or start() failed, in words for the user.
    virtual std::string problem() const { return {}; }
};

}  // namespace taperly
