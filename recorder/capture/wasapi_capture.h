#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace taperly {

// One shared-mode WASAPI capture of a recording device, on a thread of its
// own that owns every COM object of it: it opens the device, then takes in
// every packet the device holds once a piece's time, converted to the takes'
// 16-bit mono, until it is destroyed or the device goes away. Destroying it
// returns at once; the thread ends by itself soon after and never calls
// `wake` again.
class WasapiCapture {
  public:
    using Clock = std::chrono::steady_clock;
    enum class State { kOpening, kCapturing, kFailed };

    // Takes in once every `piece`; `wake` is called from the capture's
    // thread once `gather` of sound waits, once the device is open, and once
    // the capture failed. `wanted` is TAPERLY_AUDIO_INPUT's value.
    WasapiCapture(std::string wanted, std::chrono::milliseconds piece,
                  std::chrono::milliseconds gather, std::function<void()> wake);
    ~WasapiCapture();
    WasapiCapture(const WasapiCapture&) = delete;
    WasapiCapture& operator=(const WasapiCapture&) = delete;

    State state() const;
    // Why the capture failed, in words for the user.
    std::string problem() const;
    // Appends the frames captured so far to `into`; returns when the newest
    // of them was captured, at the latest (the epoch before any came).
    Clock::time_point take(std::vector<std::int16_t>& into);
    // Has the capture's thread take in what the device holds now, waiting
    // for it no longer than `limit`.
    void collect_now(std::chrono::milliseconds limit);
    void set_pace(std::chrono::milliseconds piece, std::chrono::milliseconds gather);

  private:
    // All the capture's thread touches: the thread owns it with this handle
    // and outlives the handle when Windows keeps it waiting, so that ending
    // a capture never waits on Windows' sound service.
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

}  // namespace taperly
