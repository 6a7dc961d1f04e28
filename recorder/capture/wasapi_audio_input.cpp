#include "recorder/capture/wasapi_audio_input.h"

#include <QMetaObject>
#include <QtGlobal>

namespace taperly {

namespace {

using std::chrono::milliseconds;

// During a take the device is visited every 50 ms and the event loop woken
// once a quarter of a second has gathered; orders take what has come before
// that. Between takes sound is needed only once a take begins (each status
// reply takes what came), so the capture wakes four times a second.
constexpr milliseconds kTakePiece{50};
constexpr milliseconds kTakeGather{250};
constexpr milliseconds kBetweenTakesPiece{250};
constexpr milliseconds kBetweenTakesGather{1000};
// The capture's thread only copies what the device holds; an order never
// waits longer.
constexpr milliseconds kCollectLimit{20};

}  // namespace

WasapiAudioInput::WasapiAudioInput()
    : wanted_(qEnvironmentVariable("TAPERLY_AUDIO_INPUT").toStdString()),
      receiver_(std::make_unique<QObject>()) {}

WasapiAudioInput::~WasapiAudioInput() {
    stop();
}

void WasapiAudioInput::begin_attempt() {
    attempt_began_ = std::chrono::steady_clock::now();
    QObject* receiver = receiver_.get();
    capture_ = std::make_unique<WasapiCapture>(wanted_, in_take_ ? kTakePiece : kBetweenTakesPiece,
                                               in_take_ ? kTakeGather : kBetweenTakesGather,
                                               [this, receiver] {
                                                   // Called on the capture's thread, which ends
                                                   // before the receiver goes; the call itself runs
                                                   // in the receiver's thread.
                                                   QMetaObject::invokeMethod(
                                                       receiver,
                                                       [this] {
                                                           adopt();
                                                           deliver_captured();
                                                       },
                                                       Qt::QueuedConnection);
                                               });
}

void WasapiAudioInput::adopt() {
    if (!capture_) {
        return;
    }
    const WasapiCapture::State state = capture_->state();
    if (state == WasapiCapture::State::kFailed) {
        problem_ = capture_->problem();
        failing_ = true;
        // What it captured before it failed still goes to the take (whose
        // sink may stop this input meanwhile).
        deliver_captured();
        capture_.reset();
    } else if (state == WasapiCapture::State::kCapturing) {
        failing_ = false;
        problem_.clear();
        if (!wanted_running_) {
            // Opened only to learn that the device is there again.
            capture_.reset();
        }
    }
}

bool WasapiAudioInput::available() {
    adopt();
    // The first look, and after a failure another at most once a second, so
    // that a take the device was missing for can begin once it is back.
    const bool never_looked = attempt_began_ == std::chrono::steady_clock::time_point{};
    if (!capture_ &&
        (never_looked ||
         (failing_ && std::chrono::steady_clock::now() - attempt_began_ >= kAttemptEvery))) {
        begin_attempt();
    }
    return !failing_;
}

bool WasapiAudioInput::start(FrameSink sink) {
    adopt();
    sink_ = std::move(sink);
    wanted_running_ = true;
    if (!capture_ &&
        (!failing_ || std::chrono::steady_clock::now() - attempt_began_ >= kAttemptEvery)) {
        begin_attempt();
    }
    return !failing_;
}

void WasapiAudioInput::set_in_take(bool in_take) {
    if (in_take == in_take_) {
        return;
    }
    in_take_ = in_take;
    if (capture_) {
        capture_->set_pace(in_take ? kTakePiece : kBetweenTakesPiece,
                           in_take ? kTakeGather : kBetweenTakesGather);
    }
}

void WasapiAudioInput::deliver_pending() {
    adopt();
    deliver_captured();
}

void WasapiAudioInput::deliver_up_to_now() {
    if (capture_ && capture_->state() == WasapiCapture::State::kCapturing) {
        capture_->collect_now(kCollectLimit);
    }
    deliver_pending();
}

void WasapiAudioInput::stop() {
    wanted_running_ = false;
    if (capture_) {
        deliver_up_to_now();
    }
    capture_.reset();
    sink_ = nullptr;
}

bool WasapiAudioInput::running() const {
    if (!wanted_running_ || !capture_) {
        return false;
    }
    // Opening counts only while no attempt has failed since the last capture.
    const WasapiCapture::State state = capture_->state();
    return state == WasapiCapture::State::kCapturing ||
           (state == WasapiCapture::State::kOpening && !failing_);
}

void WasapiAudioInput::deliver_captured() {
    if (!capture_ || !sink_) {
        return;
    }
    std::vector<std::int16_t> frames;
    const auto newest = capture_->take(frames);
    if (frames.empty()) {
        return;
    }
    const auto newest_at = std::chrono::duration_cast<milliseconds>(newest.time_since_epoch());
    // The sink may stop this input; it gets a copy that outlives that.
    const FrameSink sink = sink_;
    sink(frames, newest_at);
}

}  // namespace taperly
