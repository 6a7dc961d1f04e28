#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "recorder/capture/capture_dating.h"

namespace taperly {

// One shared-mode WASAPI capture of a recording device, on a thread of its
// own that owns every COM object of it: it opens the device, then takes in
// every packet the device holds once a piece's time, converted to the takes'
// 16-bit mono, until it is destroyed or the device goes away.
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

    State state() const { return state_; }
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
    struct Device;

    void run();
    void fail(const std::string& problem);
    void wake_reader();

    const std::string wanted_;
    const std::function<void()> wake_;
    std::atomic<State> state_{State::kOpening};
    std::atomic<bool> quit_{false};
    std::atomic<bool> wake_pending_{false};
    // Wakes the capture's thread for an order (a Windows event handle).
    void* orders_ = nullptr;

    mutable std::mutex mutex_;
    std::condition_variable collected_changed_;
    std::chrono::milliseconds piece_;
    std::chrono::milliseconds gather_;
    std::uint64_t asked_ = 0;
    std::uint64_t collected_ = 0;
    std::string problem_;
    std::vector<std::int16_t> captured_;
    CaptureDating dating_;

    std::thread thread_;
};

}  // namespace taperly
