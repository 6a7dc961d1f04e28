#pragma once

#include <QAudioDevice>
#include <QAudioSource>
#include <QIODevice>
#include <QObject>
#include <QPointer>

#include <memory>
#include <string>
#include <vector>

#include "recorder/capture/audio_input.h"

namespace taperly {

// Captures the sound server's default input (or the one named by
// TAPERLY_AUDIO_INPUT) through Qt Multimedia, delivering frames from the
// event loop of the thread that created it.
class QtAudioInput : public AudioInput {
  public:
    QtAudioInput();
    ~QtAudioInput() override;
    QtAudioInput(const QtAudioInput&) = delete;
    QtAudioInput& operator=(const QtAudioInput&) = delete;

    bool available() override;
    bool start(FrameSink sink) override;
    void deliver_pending() override { deliver_captured(); }
    void stop() override;
    bool running() const override;
    std::string problem() const override;
    // Dated as it is read, however late Qt hands it over; not measured, so
    // taken long enough that a take ends at its "stop" as it always did.
    std::chrono::milliseconds date_spread() const override {
        return std::chrono::milliseconds(250);
    }

  private:
    void deliver_captured();
    void retire_source();
    void release_retired();

    QObject context_;
    QAudioDevice device_;
    std::unique_ptr<QAudioSource> source_;
    // Stopped sources, destroyed once the event loop is back.
    std::vector<std::unique_ptr<QAudioSource>> retired_;
    // Qt deletes the device it handed out when the sound server goes away.
    QPointer<QIODevice> captured_;
    FrameSink sink_;
    std::vector<std::int16_t> samples_;
    // A byte read without its partner waits at the start of samples_.
    std::size_t carried_bytes_ = 0;
    std::string problem_;
};

struct AudioInputChoice {
    QAudioDevice device;
    // Why there is none, when there is none.
    std::string problem;
};

// The input Taperly records from: the one TAPERLY_AUDIO_INPUT names (by id or
// part of its description), else the server's default source, else Qt's.
AudioInputChoice choose_audio_input();

}  // namespace taperly
