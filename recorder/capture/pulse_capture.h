#pragma once

#include <pulse/context.h>
#include <pulse/mainloop.h>
#include <pulse/stream.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "recorder/capture/capture_dating.h"

namespace taperly {

// One capture from a PulseAudio source (PipeWire's PulseAudio service too):
// a connection of its own, run on a thread of its own, collecting 16-bit mono
// bytes at the takes' rate until it is destroyed. Nothing here waits on the
// server without a limit, so a frozen server cannot hang the caller.
class PulseCapture {
  public:
    using Clock = std::chrono::steady_clock;

    // How the bytes come. The capture's thread takes what the server sent
    // once every `piece` (however often the server sends: a source that
    // delivers every few milliseconds would otherwise wake it hundreds of
    // times a second), and the reader is woken once `gather` of sound waits
    // or the capture failed; it may take what is there at any time before.
    // While the thread takes in what came, sound short of `left` may stay
    // queued in the library until the round ends: every look at that queue
    // costs a system call, and such a source would make hundreds a second.
    struct Pace {
        std::chrono::milliseconds piece;
        std::chrono::milliseconds gather;
        std::chrono::milliseconds left{0};
        bool operator==(const Pace&) const = default;
    };

    // Connects and starts recording `source`. Null, with the reason in
    // `problem`, when that fails within `limit`.
    static std::unique_ptr<PulseCapture> start(const std::string& source, Pace pace,
                                               std::chrono::milliseconds limit,
                                               std::string& problem);
    ~PulseCapture();
    PulseCapture(const PulseCapture&) = delete;
    PulseCapture& operator=(const PulseCapture&) = delete;

    // Readable when enough bytes are waiting or the capture failed.
    int wake_fd() const { return wake_read_; }
    // Appends the bytes captured so far to `into` and clears the wake-up.
    // Returns when the newest of them was captured, at the latest, as far as
    // this process can tell (the epoch when none came yet).
    Clock::time_point take(std::vector<char>& into);
    // Has the capture's thread take in what the server sent so far, waiting
    // for it no longer than `limit`.
    void collect_now(std::chrono::milliseconds limit);
    // Asks the server for pieces of the new size from now on; a shorter piece
    // is taken in at once.
    void set_pace(Pace pace);
    // The server went away or stopped the stream: nothing more comes.
    bool failed() const { return failed_; }

  private:
    explicit PulseCapture(Pace pace);
    bool connect(const std::string& source, std::chrono::milliseconds limit, std::string& problem);
    void run();
    bool open_stream();
    // Takes on the pace last asked for, on the capture's thread.
    bool adopt_pace();
    pa_buffer_attr buffer_attributes() const;
    template <typename Condition>
    bool wait(std::chrono::milliseconds limit, Condition condition);
    void fail();
    void wake();
    void notify();
    void collect(pa_stream* stream);
    void take_in();

    static void on_context_state(pa_context* context, void* self);
    static void on_stream_state(pa_stream* stream, void* self);
    static void on_readable(pa_stream* stream, std::size_t bytes, void* self);
    static void on_overflow(pa_stream* stream, void* self);

    // The capture's thread's own.
    Pace pace_;
    std::string source_;
    // Made before the thread and freed after it; everything else of libpulse
    // is touched only on the thread.
    pa_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    std::thread thread_;
    std::atomic<bool> quit_{false};

    std::mutex state_mutex_;
    std::condition_variable state_changed_;
    std::atomic<bool> context_ready_{false};
    std::atomic<bool> stream_ready_{false};
    std::atomic<bool> failed_{false};
    Pace wanted_pace_;
    // Requests to take in what came, and how many of them were carried out.
    std::uint64_t asked_ = 0;
    std::uint64_t collected_ = 0;

    std::mutex captured_mutex_;
    std::vector<char> captured_;
    CaptureDating dating_;
    std::size_t gather_bytes_ = 0;
    // The capture's thread's own.
    std::size_t left_bytes_ = 0;
    int wake_read_ = -1;
    int wake_write_ = -1;
    std::atomic<bool> wake_pending_{false};
};

}  // namespace taperly
