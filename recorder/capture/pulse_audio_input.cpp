#include "recorder/capture/pulse_audio_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <QtGlobal>

#include <cstring>
#include <mutex>
#include <thread>

#include "recorder/capture/default_source.h"
#include "recorder/capture/pulse_pace.h"
#include "recorder/capture/source_choice.h"

namespace taperly {

namespace {

// A server that accepts but never answers holds up only the attempt.
constexpr std::chrono::milliseconds kServerQueryLimit{300};
constexpr std::chrono::milliseconds kConnectLimit{1000};
// The capture's thread only copies what is there; it answers at once unless
// the machine is very busy, and an order never waits longer.
constexpr std::chrono::milliseconds kCollectLimit{20};

}  // namespace

// One attempt to capture, made on a thread of its own and shared with it, so
// that it can finish after the input that began it is gone.
struct PulseAudioInput::Attempt {
    Attempt() {
        int pipe[2];
        if (::pipe2(pipe, O_CLOEXEC | O_NONBLOCK) == 0) {
            done_read = pipe[0];
            done_write = pipe[1];
        }
    }
    ~Attempt() {
        for (int fd : {done_read, done_write}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    Attempt(const Attempt&) = delete;
    Attempt& operator=(const Attempt&) = delete;

    void run(const std::string& wanted, PulseCapture::Pace pace) {
        const ServerAnswer server = ask_default_source(kServerQueryLimit);
        const SourceChoice choice = choose_source(server, wanted);
        std::string found_problem = choice.problem;
        std::unique_ptr<PulseCapture> found;
        if (!choice.name.empty()) {
            found = PulseCapture::start(choice.name, pace, kConnectLimit, found_problem);
        }
        {
            std::lock_guard lock(mutex);
            timing = path_timing(server.server_name);
            capture = std::move(found);
            problem = capture ? std::string() : found_problem;
            done = true;
        }
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(done_write, &byte, 1);
    }

    int done_read = -1;
    int done_write = -1;
    mutable std::mutex mutex;
    bool done = false;
    std::unique_ptr<PulseCapture> capture;
    std::string problem;
    PathTiming timing = kPulseAudioTiming;
};

PulseAudioInput::PulseAudioInput()
    : wanted_(qEnvironmentVariable("TAPERLY_AUDIO_INPUT").toStdString()) {}

PulseAudioInput::~PulseAudioInput() {
    stop();
}

bool PulseAudioInput::available() {
    adopt();
    // Looked for again in the background, so that a take the input was
    // missing for can begin once it is back.
    if (failing_ && !attempt_ &&
        std::chrono::steady_clock::now() - attempt_began_ >= kAttemptEvery) {
        begin_attempt();
    }
    return !failing_;
}

bool PulseAudioInput::start(FrameSink sink) {
    adopt();
    sink_ = std::move(sink);
    wanted_running_ = true;
    if (capture_ && !capture_->failed()) {
        return true;
    }
    if (capture_) {
        // The server went away or stopped the stream.
        wake_.reset();
        capture_.reset();
        failing_ = true;
        if (problem_.empty()) {
            problem_ = "the sound input stopped delivering sound";
        }
    }
    // Only attempts that keep failing are spaced out; one under way is
    // waited for, and its capture is taken once it connects.
    if (!attempt_ &&
        (!failing_ || std::chrono::steady_clock::now() - attempt_began_ >= kAttemptEvery)) {
        begin_attempt();
    }
    return !failing_;
}

void PulseAudioInput::begin_attempt() {
    attempt_ = std::make_shared<Attempt>();
    attempt_began_ = std::chrono::steady_clock::now();
    if (attempt_->done_read >= 0) {
        attempt_done_ =
            std::make_unique<QSocketNotifier>(attempt_->done_read, QSocketNotifier::Read);
        QObject::connect(attempt_done_.get(), &QSocketNotifier::activated, [this] {
            adopt();
            deliver_captured();
        });
    }
    // Detached: the attempt outlives this input if the server keeps it
    // waiting when Taperly ends, and owns all it touches.
    std::thread([attempt = attempt_, wanted = wanted_, pace = pace()] {
        attempt->run(wanted, pace);
    }).detach();
}

void PulseAudioInput::adopt() {
    if (!attempt_) {
        return;
    }
    std::unique_ptr<PulseCapture> capture;
    {
        std::lock_guard lock(attempt_->mutex);
        if (!attempt_->done) {
            return;
        }
        capture = std::move(attempt_->capture);
        timing_ = attempt_->timing;
        problem_ = attempt_->problem;
    }
    attempt_done_.reset();
    attempt_.reset();
    failing_ = !capture;
    if (!capture || !wanted_running_) {
        return;
    }
    capture_ = std::move(capture);
    // A take may have begun or ended while it connected.
    capture_->set_pace(pace());
    wake_ = std::make_unique<QSocketNotifier>(capture_->wake_fd(), QSocketNotifier::Read);
    QObject::connect(wake_.get(), &QSocketNotifier::activated, [this] { deliver_captured(); });
}

void PulseAudioInput::set_in_take(bool in_take) {
    if (in_take == in_take_) {
        return;
    }
    in_take_ = in_take;
    if (capture_) {
        capture_->set_pace(pace());
    }
}

PulseCapture::Pace PulseAudioInput::pace() const {
    return in_take_ ? kTakePace : kBetweenTakesPace;
}

void PulseAudioInput::deliver_pending() {
    adopt();
    deliver_captured();
}

void PulseAudioInput::deliver_up_to_now() {
    adopt();
    if (capture_) {
        capture_->collect_now(kCollectLimit);
    }
    deliver_captured();
}

void PulseAudioInput::stop() {
    wanted_running_ = false;
    if (capture_) {
        deliver_up_to_now();
    }
    wake_.reset();
    capture_.reset();
    sink_ = nullptr;
    bytes_.clear();
}

bool PulseAudioInput::running() const {
    if (capture_) {
        return !capture_->failed();
    }
    if (!wanted_running_ || failing_ || !attempt_) {
        return false;
    }
    std::lock_guard lock(attempt_->mutex);
    return !attempt_->done || attempt_->capture != nullptr;
}

void PulseAudioInput::deliver_captured() {
    if (!capture_ || !sink_) {
        return;
    }
    const auto newest_at = std::chrono::duration_cast<std::chrono::milliseconds>(
                               capture_->take(bytes_).time_since_epoch()) -
                           timing_.least;
    const std::size_t whole = bytes_.size() / sizeof(std::int16_t);
    if (whole == 0) {
        return;
    }
    frames_.resize(whole);
    std::memcpy(frames_.data(), bytes_.data(), whole * sizeof(std::int16_t));
    bytes_.erase(bytes_.begin(),
                 bytes_.begin() + static_cast<std::ptrdiff_t>(whole * sizeof(std::int16_t)));
    // The sink may stop this input; it gets a copy that outlives that.
    const FrameSink sink = sink_;
    sink(frames_, newest_at);
}

}  // namespace taperly
