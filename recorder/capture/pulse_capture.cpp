#include "recorder/capture/pulse_capture.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <limits>

#include "recorder/capture/audio_input.h"

namespace taperly {

namespace {

const pa_sample_spec kSpec{PA_SAMPLE_S16LE, kCaptureRate, 1};

pa_usec_t usec(std::chrono::milliseconds span) {
    return static_cast<pa_usec_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(span).count());
}

}  // namespace

PulseCapture::PulseCapture(Pace pace) : pace_(pace), wanted_pace_(pace), dating_(kCaptureRate) {}

std::unique_ptr<PulseCapture> PulseCapture::start(const std::string& source, Pace pace,
                                                  std::chrono::milliseconds limit,
                                                  std::string& problem) {
    std::unique_ptr<PulseCapture> capture(new PulseCapture(pace));
    if (!capture->connect(source, limit, problem)) {
        return nullptr;
    }
    return capture;
}

bool PulseCapture::connect(const std::string& source, std::chrono::milliseconds limit,
                           std::string& problem) {
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        problem = "no pipe for the sound input";
        return false;
    }
    wake_read_ = wake[0];
    wake_write_ = wake[1];
    source_ = source;
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
    thread_ = std::thread([this] { run(); });
    if (!wait(limit, [this] { return context_ready_ || failed_; }) || failed_) {
        problem = failed_ ? "the sound server is not running" : "the sound server does not answer";
        return false;
    }
    if (!wait(limit, [this] { return stream_ready_ || failed_; }) || failed_) {
        problem = "the sound input \"" + source + "\" cannot be recorded from";
        return false;
    }
    return true;
}

void PulseCapture::run() {
    // Named, so that what it costs can be told from the window's thread.
    pthread_setname_np(pthread_self(), "taperly-capture");
    // Setting up answers at once; from then on the server's pieces are taken
    // once a piece's time, whatever its own pace.
    while (!quit_ && !failed_ && !stream_ready_) {
        if (pa_mainloop_iterate(loop_, 1, nullptr) < 0) {
            fail();
        } else if (context_ready_ && !stream_ && !open_stream()) {
            fail();
        }
    }
    // A pace a little uneven: a source that hands sound over at the same
    // pace would otherwise always be met at the same point of its cycle, and
    // the dating would learn only that point.
    std::uint32_t dither = 1;
    auto next = Clock::now() + pace_.piece;
    while (!quit_) {
        if (adopt_pace() && stream_ && !failed_) {
            // The server is asked for the new size; a shorter piece begins now.
            const pa_buffer_attr attributes = buffer_attributes();
            if (pa_operation* asked =
                    pa_stream_set_buffer_attr(stream_, &attributes, nullptr, nullptr)) {
                pa_operation_unref(asked);
            }
            next = std::min(next, Clock::now() + pace_.piece);
        }
        take_in();
        std::unique_lock lock(state_mutex_);
        const auto asked = [this] {
            return quit_ || asked_ != collected_ || wanted_pace_ != pace_;
        };
        // A failed capture has nothing more to take: it waits for its end.
        if (failed_) {
            state_changed_.wait(lock, asked);
        } else if (!state_changed_.wait_until(lock, next, asked)) {
            dither = dither * 1664525u + 1013904223u;
            next += pace_.piece + std::chrono::milliseconds(static_cast<int>(dither >> 29) - 4);
            next = std::max(next, Clock::now());
        }
    }
    if (stream_) {
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        pa_stream_set_overflow_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }
}

void PulseCapture::take_in() {
    std::uint64_t asked = 0;
    {
        std::lock_guard lock(state_mutex_);
        asked = asked_;
    }
    while (!failed_ && pa_mainloop_iterate(loop_, 0, nullptr) > 0) {
    }
    if (stream_ && !failed_) {
        collect(stream_);
    }
    {
        std::lock_guard lock(state_mutex_);
        collected_ = std::max(collected_, asked);
    }
    state_changed_.notify_all();
}

void PulseCapture::collect_now(std::chrono::milliseconds limit) {
    std::unique_lock lock(state_mutex_);
    const std::uint64_t request = ++asked_;
    state_changed_.notify_all();
    state_changed_.wait_for(lock, limit, [&] { return collected_ >= request || failed_; });
}

void PulseCapture::set_pace(Pace pace) {
    std::lock_guard lock(state_mutex_);
    wanted_pace_ = pace;
    state_changed_.notify_all();
}

bool PulseCapture::adopt_pace() {
    Pace wanted{};
    {
        std::lock_guard lock(state_mutex_);
        wanted = wanted_pace_;
    }
    const bool changed = wanted != pace_;
    pace_ = wanted;
    left_bytes_ = pa_usec_to_bytes(usec(pace_.left), &kSpec);
    std::lock_guard lock(captured_mutex_);
    gather_bytes_ = pa_usec_to_bytes(usec(pace_.gather), &kSpec);
    return changed;
}

pa_buffer_attr PulseCapture::buffer_attributes() const {
    pa_buffer_attr attributes{};
    attributes.maxlength = std::numeric_limits<std::uint32_t>::max();
    attributes.tlength = std::numeric_limits<std::uint32_t>::max();
    attributes.prebuf = std::numeric_limits<std::uint32_t>::max();
    attributes.minreq = std::numeric_limits<std::uint32_t>::max();
    attributes.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(usec(pace_.piece), &kSpec));
    return attributes;
}

bool PulseCapture::open_stream() {
    adopt_pace();
    const pa_buffer_attr attributes = buffer_attributes();
    stream_ = pa_stream_new(context_, "Taperly take", &kSpec, nullptr);
    if (!stream_) {
        return false;
    }
    pa_stream_set_state_callback(stream_, on_stream_state, this);
    pa_stream_set_read_callback(stream_, on_readable, this);
    pa_stream_set_overflow_callback(stream_, on_overflow, this);
    // A source that goes away ends the capture: the server would otherwise
    // move it to another input, and takes would hold the wrong sound while
    // they seem fine. The capture is started again on the input the choice
    // of inputs names then.
    return pa_stream_connect_record(
               stream_, source_.c_str(), &attributes,
               static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE)) >= 0;
}

PulseCapture::~PulseCapture() {
    quit_ = true;
    notify();
    if (loop_) {
        pa_mainloop_wakeup(loop_);
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (loop_) {
        pa_mainloop_free(loop_);
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

PulseCapture::Clock::time_point PulseCapture::take(std::vector<char>& into) {
    // The pipe is emptied before the flag is cleared: bytes that come after
    // the flag was cleared always leave a new wake-up.
    char drained[64];
    while (::read(wake_read_, drained, sizeof drained) > 0) {
    }
    wake_pending_ = false;
    std::lock_guard lock(captured_mutex_);
    into.insert(into.end(), captured_.begin(), captured_.end());
    captured_.clear();
    return dating_.newest();
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
            // The stream is told only after this, and still gives what it
            // holds: the last sound of a dying server is kept.
            if (capture->stream_) {
                capture->collect(capture->stream_);
            }
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

void PulseCapture::on_readable(pa_stream* stream, std::size_t bytes, void* self) {
    auto* capture = static_cast<PulseCapture*>(self);
    if (bytes >= capture->left_bytes_) {
        capture->collect(stream);
    }
}

void PulseCapture::on_overflow(pa_stream* stream, void* self) {
    // The server dropped sound it held for us: the count of frames no
    // longer tells their time. What came before the loss is taken first,
    // dated by the count it belongs to.
    auto* capture = static_cast<PulseCapture*>(self);
    capture->collect(stream);
    std::lock_guard lock(capture->captured_mutex_);
    capture->dating_.restart();
}

void PulseCapture::collect(pa_stream* stream) {
    bool gathered = false;
    for (;;) {
        const void* data = nullptr;
        std::size_t length = 0;
        if (pa_stream_peek(stream, &data, &length) < 0 || length == 0) {
            break;
        }
        {
            std::lock_guard lock(captured_mutex_);
            if (data != nullptr) {
                const auto* bytes = static_cast<const char*>(data);
                captured_.insert(captured_.end(), bytes, bytes + length);
            } else {
                // A hole: the server lost what was there. Silence keeps the
                // time in step with the transmission.
                captured_.insert(captured_.end(), length, 0);
            }
            dating_.arrived(length / pa_frame_size(&kSpec), Clock::now());
            gathered = captured_.size() >= gather_bytes_;
        }
        pa_stream_drop(stream);
    }
    // Each wake-up of the reader costs; it is woken only once enough has
    // gathered, and takes the rest whenever it comes by.
    if (gathered) {
        wake();
    }
}

}  // namespace taperly
