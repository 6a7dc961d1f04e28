#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace taperly {

// Receives captured sound: 16-bit mono PCM frames at 22050 Hz, in order.
using FrameSink = std::function<void(std::span<const std::int16_t> frames)>;

// A sound input the recorder captures from. Every call returns at once and
// reports trouble only through its result.
class AudioInput {
  public:
    virtual ~AudioInput() = default;

    // Whether there is an input to record from right now.
    virtual bool available() = 0;
    // Starts delivering frames to the sink; false when capture cannot start.
    virtual bool start(FrameSink sink) = 0;
    // Delivers what is already captured, then ends capture.
    virtual void stop() = 0;
    // Whether frames are still being captured (false after the input died).
    virtual bool running() const = 0;
    // Why the last available() or start() failed, in words for the user.
    virtual std::string problem() const { return {}; }
};

}  // namespace taperly
