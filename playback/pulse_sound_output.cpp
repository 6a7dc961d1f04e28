#include "playback/pulse_sound_output.h"

#include <pulse/timeval.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <limits>

namespace taperly {

namespace {

constexpr int kRate = 22050;
const pa_sample_spec kSpec{PA_SAMPLE_S16LE, kRate, 1};
// How long connecting may take before the output counts as missing.
constexpr auto kOpenLimit = std::chrono::seconds(2);
// What the server queues for us, besides what its device holds (a server
// may hold as much again there): enough that a busy machine holding the
// player's thread up for half a second is not heard. A pause or a jump is heard at once all the same (the stream is
// corked or flushed, and the server takes back what its device holds).
constexpr pa_usec_t kQueued = 1'000'000;
// Playback begins once this much is queued (and again after running dry).
constexpr pa_usec_t kStartAfter = 40'000;

}  // namespace

PulseSoundOutput::~PulseSoundOutput() {
    if (stream_) {
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
    }
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (loop_) {
        pa_mainloop_free(loop_);
    }
}

bool PulseSoundOutput::open(std::string& problem) {
    loop_ = pa_mainloop_new();
    context_ = loop_ ? pa_context_new(pa_mainloop_get_api(loop_), "Taperly") : nullptr;
    if (!context_) {
        problem = "the sound library cannot start";
        return false;
    }
    pa_context_set_state_callback(context_, on_context_state, this);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        problem = "the sound server is not running";
        return false;
    }
    if (!run_until([this] { return context_ready_; })) {
        problem = failed_ ? "the sound server is not running" : "the sound server does not answer";
        return false;
    }
    stream_ = pa_stream_new(context_, "Taperly playback", &kSpec, nullptr);
    if (!stream_) {
        problem = "the sound server refuses a stream";
        return false;
    }
    pa_stream_set_state_callback(stream_, on_stream_state, this);
    pa_buffer_attr attributes{};
    attributes.maxlength = std::numeric_limits<std::uint32_t>::max();
    attributes.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kQueued, &kSpec));
    attributes.prebuf = static_cast<std::uint32_t>(pa_usec_to_bytes(kStartAfter, &kSpec));
    attributes.minreq = std::numeric_limits<std::uint32_t>::max();
    attributes.fragsize = std::numeric_limits<std::uint32_t>::max();
    // The server's default output, and the one the user makes the default
    // later: playback may move, unlike the capture.
    const auto flags = PA_STREAM_AUTO_TIMING_UPDATE;
    if (pa_stream_connect_playback(stream_, nullptr, &attributes, flags, nullptr, nullptr) < 0 ||
        !run_until([this] { return stream_ready_; })) {
        problem = failed_ ? "the sound server has no output to play on"
                          : "the sound server does not answer";
        return false;
    }
    return true;
}

int PulseSoundOutput::rate() const {
    return kRate;
}

long PulseSoundOutput::room(std::string& problem) {
    run_loop();
    const std::size_t writable = failed_ ? 0 : pa_stream_writable_size(stream_);
    if (failed_ || writable == static_cast<std::size_t>(-1)) {
        failed_ = true;
        problem = "the sound server went away";
        return -1;
    }
    return static_cast<long>(writable / pa_frame_size(&kSpec));
}

long PulseSoundOutput::queued() {
    if (failed_) {
        return 0;
    }
    const pa_timing_info* timing =
        drops_awaiting_timing_ > 0 ? nullptr : pa_stream_get_timing_info(stream_);
    if (!timing || timing->read_index_corrupt || timing->write_index_corrupt) {
        return written_since_drop_;
    }
    // Counted from the server's own figures, not libpulse's latency: that
    // stops moving while the server calls the stream not playing (a null
    // sink that takes sound in bursts keeps it so) and then grows with
    // every write; the row stayed at a take's start for minutes. What the
    // stream holds on the server and what its device holds, less what was
    // played since the server said so (nothing while corked).
    const std::int64_t frame = pa_frame_size(&kSpec);
    std::int64_t held =
        std::max<std::int64_t>(timing->write_index - timing->read_index, 0) / frame +
        static_cast<std::int64_t>(timing->sink_usec * kRate / 1'000'000);
    if (!corked_) {
        held -= static_cast<std::int64_t>(pa_timeval_age(&timing->timestamp) * kRate / 1'000'000);
    }
    return static_cast<long>(std::max<std::int64_t>(held, 0));
}

void PulseSoundOutput::write(std::span<const std::int16_t> frames) {
    if (!failed_ && !frames.empty()) {
        pa_stream_write(stream_, frames.data(), frames.size_bytes(), nullptr, 0, PA_SEEK_RELATIVE);
        written_since_drop_ += static_cast<long>(frames.size());
    }
}

void PulseSoundOutput::drop() {
    if (!failed_) {
        if (pa_operation* flushed = pa_stream_flush(stream_, nullptr, nullptr)) {
            pa_operation_unref(flushed);
        }
        // The latency known now is the one before the flush, until the
        // server's timing after it comes.
        written_since_drop_ = 0;
        if (pa_operation* timed =
                pa_stream_update_timing_info(stream_, on_timing_after_drop, this)) {
            ++drops_awaiting_timing_;
            pa_operation_unref(timed);
        }
    }
}

void PulseSoundOutput::set_paused(bool paused) {
    if (failed_ || paused == corked_) {
        return;
    }
    corked_ = paused;
    if (pa_operation* corked = pa_stream_cork(stream_, paused ? 1 : 0, nullptr, nullptr)) {
        pa_operation_unref(corked);
    }
}

void PulseSoundOutput::run_loop() {
    while (!failed_ && pa_mainloop_iterate(loop_, 0, nullptr) > 0) {
    }
}

template <typename Ready>
bool PulseSoundOutput::run_until(Ready ready) {
    const auto deadline = std::chrono::steady_clock::now() + kOpenLimit;
    while (!failed_ && !ready()) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || pa_mainloop_prepare(loop_, static_cast<int>(left.count())) < 0 ||
            pa_mainloop_poll(loop_) < 0 || pa_mainloop_dispatch(loop_) < 0) {
            return false;
        }
    }
    return !failed_;
}

void PulseSoundOutput::on_context_state(pa_context* context, void* self) {
    auto* output = static_cast<PulseSoundOutput*>(self);
    switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            output->context_ready_ = true;
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            output->failed_ = true;
            break;
        default:
            break;
    }
}

void PulseSoundOutput::on_stream_state(pa_stream* stream, void* self) {
    auto* output = static_cast<PulseSoundOutput*>(self);
    switch (pa_stream_get_state(stream)) {
        case PA_STREAM_READY:
            output->stream_ready_ = true;
            break;
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED:
            output->failed_ = true;
            break;
        default:
            break;
    }
}

void PulseSoundOutput::on_timing_after_drop(pa_stream*, int, void* self) {
    --static_cast<PulseSoundOutput*>(self)->drops_awaiting_timing_;
}

std::unique_ptr<SoundOutput> make_sound_output() {
    return std::make_unique<PulseSoundOutput>();
}

}  // namespace taperly
