#pragma once

#include <QSocketNotifier>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "recorder/audio_input.h"
#include "recorder/pulse_capture.h"
#include "recorder/pulse_pace.h"

namespace taperly {

// Captures the sound server's default input (or the one TAPERLY_AUDIO_INPUT
// names) with libpulse, delivering frames from the event loop of the thread
// that created it. Qt 6.4's own capture never records again in a process
// whose server went away for more than a few seconds while it captured;
// here every capture has a connection of its own, so sound comes back with
// the server.
class PulseAudioInput : public AudioInput {
  public:
    PulseAudioInput() = default;
    ~PulseAudioInput() override;
    PulseAudioInput(const PulseAudioInput&) = delete;
    PulseAudioInput& operator=(const PulseAudioInput&) = delete;

    bool available() override;
    bool start(FrameSink sink) override;
    void deliver_pending() override { deliver_captured(); }
    void deliver_up_to_now() override;
    void stop() override;
    bool running() const override;
    std::string problem() const override { return problem_; }
    std::chrono::milliseconds date_spread() const override { return timing_.spread; }

  private:
    void deliver_captured();

    std::string source_;
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
