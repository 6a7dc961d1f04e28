#pragma once

#include <pulse/context.h>
#include <pulse/mainloop.h>
#include <pulse/stream.h>

#include <string>

#include "playback/sound_output.h"

namespace taperly {

// The sound server's default output through libpulse (PipeWire's PulseAudio
// service too), at the takes' rate: the server converts to the device's.
// Its main loop is run by the calls themselves, never waiting on the server
// beyond open()'s limit, on the one thread that owns it.
class PulseSoundOutput : public SoundOutput {
  public:
    PulseSoundOutput() = default;
    ~PulseSoundOutput() override;
    PulseSoundOutput(const PulseSoundOutput&) = delete;
    PulseSoundOutput& operator=(const PulseSoundOutput&) = delete;

    bool open(std::string& problem) override;
    int rate() const override;
    long room(std::string& problem) override;
    long queued() override;
    void write(std::span<const std::int16_t> frames) override;
    void drop() override;
    void set_paused(bool paused) override;

  private:
    // Runs what the server has said, without waiting.
    void run_loop();
    // Runs the loop until `ready` or the limit; false when it failed.
    template <typename Ready>
    bool run_until(Ready ready);

    static void on_context_state(pa_context* context, void* self);
    static void on_stream_state(pa_stream* stream, void* self);
    static void on_timing_after_drop(pa_stream* stream, int success, void* self);

    pa_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    bool context_ready_ = false;
    bool stream_ready_ = false;
    bool failed_ = false;
    bool corked_ = false;
    // Drops whose timing the server has not told yet: until then, and
    // before its first timing, what was written since counts as queued.
    int drops_awaiting_timing_ = 0;
    long written_since_drop_ = 0;
};

}  // namespace taperly
