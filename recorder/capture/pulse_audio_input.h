#pragma once

#include <QSocketNotifier>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "recorder/capture/audio_input.h"
#include "recorder/capture/pulse_capture.h"
#include "recorder/capture/pulse_pace.h"

namespace taperly {

// Captures the sound server's default input (or the one TAPERLY_AUDIO_INPUT
// names) with libpulse, delivering frames from the event loop of the thread
// that created it. Qt 6.4's own capture never records again in a process
// whose server went away for more than a few seconds while it captured;
// here every capture has a connection of its own, so sound comes back with
// the server.
//
// Nothing here waits on the sound server: asking it for its inputs and
// connecting happen on a thread of their own, at most once a second, and
// the window's thread only looks at what that thread found. A server that
// accepts connections but never answers costs the poll cycle nothing.
class PulseAudioInput : public AudioInput {
  public:
    PulseAudioInput();
    ~PulseAudioInput() override;
    PulseAudioInput(const PulseAudioInput&) = delete;
    PulseAudioInput& operator=(const PulseAudioInput&) = delete;

    // What the last attempt to capture found: true until one failed; then
    // another is begun in the background, at most once a second.
    bool available() override;
    // Capture from now on, connecting in the background; false while the
    // attempts fail (they go on, at most once a second, at each call).
    bool start(FrameSink sink) override;
    void deliver_pending() override;
    void deliver_up_to_now() override;
    void stop() override;
    // Capturing, or connecting after a capture that went well.
    bool running() const override;
    std::string problem() const override { return problem_; }
    std::chrono::milliseconds date_spread() const override { return timing_.spread; }
    void set_in_take(bool in_take) override;

    // How often the attempts to connect may begin.
    static constexpr std::chrono::milliseconds kAttemptEvery{1000};

  private:
    struct Attempt;

    void begin_attempt();
    PulseCapture::Pace pace() const;
    // Takes over what a finished attempt brought: its capture, or why not.
    void adopt();
    void deliver_captured();

    const std::string wanted_;
    std::shared_ptr<Attempt> attempt_;
    std::unique_ptr<QSocketNotifier> attempt_done_;
    std::chrono::steady_clock::time_point attempt_began_{};
    // The last attempt failed, and none has gone well since.
    bool failing_ = false;
    // start() was called and stop() was not: an attempt's capture is wanted.
    bool wanted_running_ = false;
    bool in_take_ = false;
    std::string problem_;
    PathTiming timing_ = kPulseAudioTiming;
    std::unique_ptr<PulseCapture> capture_;
    std::unique_ptr<QSocketNotifier> wake_;
    FrameSink sink_;
    // Bytes taken from the capture; an odd one waits here for its partner.
    std::vector<char> bytes_;
    std::vector<std::int16_t> frames_;
};

}  // namespace taperly
