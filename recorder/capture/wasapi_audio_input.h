#pragma once

#include <QObject>

#include <chrono>
#include <memory>
#include <string>

#include "recorder/capture/audio_input.h"
#include "recorder/capture/wasapi_capture.h"

namespace taperly {

// Captures Windows' default recording device (or the one TAPERLY_AUDIO_INPUT
// names) through WASAPI in shared mode, delivering frames from the event
// loop of the thread that created it. The device is opened and read on the
// capture's own thread, so nothing here waits on Windows' sound service; a
// device that went away is looked for again at most once a second.
class WasapiAudioInput : public AudioInput {
  public:
    WasapiAudioInput();
    ~WasapiAudioInput() override;
    WasapiAudioInput(const WasapiAudioInput&) = delete;
    WasapiAudioInput& operator=(const WasapiAudioInput&) = delete;

    // True until an attempt to open the device failed; then another is
    // begun in the background, at most once a second.
    bool available() override;
    bool start(FrameSink sink) override;
    void deliver_pending() override;
    void deliver_up_to_now() override;
    void stop() override;
    // Capturing, or opening the device after a start that did not follow a
    // failed attempt.
    bool running() const override;
    std::string problem() const override { return problem_; }
    // QPC positions date each packet's sound; Windows' (and Wine's) own
    // dating is within a device period of it.
    std::chrono::milliseconds date_spread() const override { return std::chrono::milliseconds(20); }
    void set_in_take(bool in_take) override;

    static constexpr std::chrono::milliseconds kAttemptEvery{1000};

  private:
    void begin_attempt();
    // Takes note of a capture that failed or is not wanted.
    void adopt();
    void deliver_captured();

    const std::string wanted_;
    // Lives in the creating thread: the capture's wake-ups are delivered to
    // it there, and go with it.
    std::unique_ptr<QObject> receiver_;
    std::unique_ptr<WasapiCapture> capture_;
    std::chrono::steady_clock::time_point attempt_began_{};
    bool failing_ = false;
    bool wanted_running_ = false;
    bool in_take_ = false;
    std::string problem_;
    FrameSink sink_;
};

}  // namespace taperly
