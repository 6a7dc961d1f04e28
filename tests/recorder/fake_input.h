#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "recorder/capture/audio_input.h"

namespace taperly::testing {

// A sound input driven by the test: frames arrive when the test says so,
// as they would from the event loop between orders.
class FakeInput : public AudioInput {
  public:
    bool available() override { return present; }
    bool start(FrameSink sink) override {
        if (!present || fail_start) {
            return false;
        }
        ++starts;
        sink_ = std::move(sink);
        running_ = true;
        return true;
    }
    void deliver_pending() override {
        if (running_ && sink_ && !pending.empty()) {
            const std::vector<std::int16_t> frames = std::move(pending);
            pending.clear();
            sink_(frames, pending_at);
        }
    }
    void stop() override {
        deliver_pending();
        pending.clear();
        running_ = false;
        sink_ = nullptr;
        ++stops;
    }
    bool running() const override { return running_; }

    // Frames whose newest was captured at `newest_at` (milliseconds).
    void deliver(const std::vector<std::int16_t>& frames, long long newest_at = 0) {
        if (running_) {
            sink_(frames, std::chrono::milliseconds(newest_at));
        }
    }
    // The sound server went away: capture ends without a stop.
    void die() {
        running_ = false;
        sink_ = nullptr;
    }

    bool present = true;
    bool fail_start = false;
    int starts = 0;
    int stops = 0;
    // Captured but not yet handed over when the recorder asks for it or stops.
    std::vector<std::int16_t> pending;
    std::chrono::milliseconds pending_at{0};

  private:
    FrameSink sink_;
    bool running_ = false;
};

}  // namespace taperly::testing
