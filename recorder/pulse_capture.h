#pragma once

#include <pulse/context.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace taperly {

// One capture from a PulseAudio source (PipeWire's PulseAudio service too):
// a connection of its own, run on libpulse's own thread, collecting 16-bit
// mono bytes at the takes' rate until it is destroyed. Nothing here waits on
// the server without a limit, so a frozen server cannot hang the caller.
class PulseCapture {
  public:
    // Connects and starts recording `source`, the bytes handed over in pieces
    // of about `piece`. Null, with the reason in `problem`, when that fails
    // within `limit`.
    static std::unique_ptr<PulseCapture> start(const std::string& source,
                                               std::chrono::milliseconds piece,
                                               std::chrono::milliseconds limit,
                                               std::string& problem);
    ~PulseCapture();
    PulseCapture(const PulseCapture&) = delete;
    PulseCapture& operator=(const PulseCapture&) = delete;

    // Readable when bytes are waiting or the capture failed.
    int wake_fd() const { return wake_read_; }
    // Appends the bytes captured so far to `into` and clears the wake-up.
    void take(std::vector<char>& into);
    // The server went away or stopped the stream: nothing more comes.
    bool failed() const { return failed_; }

  private:
    PulseCapture() = default;
    bool connect(const std::string& source, std::chrono::milliseconds piece,
                 std::chrono::milliseconds limit, std::string& problem);
    template <typename Condition>
    bool wait(std::chrono::milliseconds limit, Condition condition);
    void fail();
    void wake();
    void notify();

    static void on_context_state(pa_context* context, void* self);
    static void on_stream_state(pa_stream* stream, void* self);
    static void on_readable(pa_stream* stream, std::size_t bytes, void* self);

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    bool loop_running_ = false;

    std::mutex state_mutex_;
    std::condition_variable state_changed_;
    std::atomic<bool> context_ready_{false};
    std::atomic<bool> stream_ready_{false};
    std::atomic<bool> failed_{false};

    std::mutex captured_mutex_;
    std::vector<char> captured_;
    int wake_read_ = -1;
    int wake_write_ = -1;
    std::atomic<bool> wake_pending_{false};
};

}  // namespace taperly
