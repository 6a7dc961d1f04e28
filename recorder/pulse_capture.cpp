#include "recorder/pulse_capture.h"

#include <fcntl.h>
#include <unistd.h>

#include <limits>

#include "recorder/wave_file_writer.h"

namespace taperly {

std::unique_ptr<PulseCapture> PulseCapture::start(const std::string& source,
                                                  std::chrono::milliseconds piece,
                                                  std::chrono::milliseconds limit,
                                                  std::string& problem) {
    std::unique_ptr<PulseCapture> capture(new PulseCapture());
    if (!capture->connect(source, piece, limit, problem)) {
        return nullptr;
    }
    return capture;
}

bool PulseCapture::connect(const std::string& source, std::chrono::milliseconds piece,
                           std::chrono::milliseconds limit, std::string& problem) {
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        problem = "no pipe for the sound input";
        return false;
    }
    wake_read_ = wake[0];
    wake_write_ = wake[1];
    loop_ = pa_threaded_mainloop_new();
    context_ = loop_ ? pa_context_new(pa_threaded_mainloop_get_api(loop_), "Taperly") : nullptr;
    if (!context_) {
        problem = "the sound library cannot start";
        return false;
    }
    pa_context_set_state_callback(context_, on_context_state, this);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        problem = "the sound server is not running";
        return false;
    }
    if (pa_threaded_mainloop_start(loop_) < 0) {
        problem = "the sound library cannot start";
        return false;
    }
    loop_running_ = true;
    if (!wait(limit, [this] { return context_ready_ || failed_; }) || failed_) {
        problem = failed_ ? "the sound server is not running" : "the sound server does not answer";
        return false;
    }

    const pa_sample_spec spec{PA_SAMPLE_S16LE, WaveFileWriter::kSampleRate, 1};
    const auto piece_us = static_cast<pa_usec_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(piece).count());
    pa_buffer_attr attributes{};
    attributes.maxlength = std::numeric_limits<std::uint32_t>::max();
    attributes.tlength = std::numeric_limits<std::uint32_t>::max();
    attributes.prebuf = std::numeric_limits<std::uint32_t>::max();
    attributes.minreq = std::numeric_limits<std::uint32_t>::max();
    attributes.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(piece_us, &spec));
    pa_threaded_mainloop_lock(loop_);
    stream_ = pa_stream_new(context_, "Taperly take", &spec, nullptr);
    bool connected = false;
    if (stream_) {
        pa_stream_set_state_callback(stream_, on_stream_state, this);
        pa_stream_set_read_callback(stream_, on_readable, this);
        connected = pa_stream_connect_record(stream_, source.c_str(), &attributes,
                                             PA_STREAM_ADJUST_LATENCY) >= 0;
    }
    pa_threaded_mainloop_unlock(loop_);
    if (!connected) {
        problem = "the sound input \"" + source + "\" cannot be recorded from";
        return false;
    }
    if (!wait(limit, [this] { return stream_ready_ || failed_; }) || failed_) {
        problem = "the sound input \"" + source + "\" cannot be recorded from";
        return false;
    }
    return true;
}

PulseCapture::~PulseCapture() {
    if (loop_running_) {
        pa_threaded_mainloop_lock(loop_);
    }
    if (stream_) {
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
    }
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (loop_running_) {
        pa_threaded_mainloop_unlock(loop_);
        pa_threaded_mainloop_stop(loop_);
    }
    if (loop_) {
        pa_threaded_mainloop_free(loop_);
    }
    for (const int fd : {wake_read_, wake_write_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

template <typename Condition>
bool PulseCapture::wait(std::chrono::milliseconds limit, Condition condition) {
    std::unique_lock lock(state_mutex_);
    return state_changed_.wait_for(lock, limit, condition);
}

void PulseCapture::take(std::vector<char>& into) {
    // The pipe is emptied before the flag is cleared: bytes that come after
    // the flag was cleared always leave a new wake-up.
    char drained[64];
    while (::read(wake_read_, drained, sizeof drained) > 0) {
    }
    wake_pending_ = false;
    std::lock_guard lock(captured_mutex_);
    into.insert(into.end(), captured_.begin(), captured_.end());
    captured_.clear();
}

void PulseCapture::wake() {
    if (!wake_pending_.exchange(true)) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(wake_write_, &byte, 1);
    }
}

void PulseCapture::notify() {
    std::lock_guard lock(state_mutex_);
    state_changed_.notify_all();
}

void PulseCapture::fail() {
    failed_ = true;
    notify();
    wake();
}

void PulseCapture::on_context_state(pa_context* context, void* self) {
    auto* capture = static_cast<PulseCapture*>(self);
    switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            capture->context_ready_ = true;
            capture->notify();
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            capture->fail();
            break;
        default:
            break;
    }
}

void PulseCapture::on_stream_state(pa_stream* stream, void* self) {
    auto* capture = static_cast<PulseCapture*>(self);
    switch (pa_stream_get_state(stream)) {
        case PA_STREAM_READY:
            capture->stream_ready_ = true;
            capture->notify();
            break;
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED:
            capture->fail();
            break;
        default:
            break;
    }
}

void PulseCapture::on_readable(pa_stream* stream, std::size_t, void* self) {
    auto* capture = static_cast<PulseCapture*>(self);
    bool any = false;
    for (;;) {
        const void* data = nullptr;
        std::size_t length = 0;
        if (pa_stream_peek(stream, &data, &length) < 0 || length == 0) {
            break;
        }
        if (data != nullptr) {
            const auto* bytes = static_cast<const char*>(data);
            std::lock_guard lock(capture->captured_mutex_);
            capture->captured_.insert(capture->captured_.end(), bytes, bytes + length);
            any = true;
        } else {
            // A hole: the server lost what was there. Silence keeps the time
            // in step with the transmission.
            std::lock_guard lock(capture->captured_mutex_);
            capture->captured_.insert(capture->captured_.end(), length, 0);
            any = true;
        }
        pa_stream_drop(stream);
    }
    if (any) {
        capture->wake();
    }
}

}  // namespace taperly
