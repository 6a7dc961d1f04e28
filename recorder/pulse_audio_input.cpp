#include "recorder/pulse_audio_input.h"

#include <QtGlobal>

#include <cstring>

#include "recorder/default_source.h"
#include "recorder/pulse_pace.h"
#include "recorder/source_choice.h"

namespace taperly {

namespace {

// Asked briefly: a server that accepts but never answers must not hold up
// an order.
constexpr std::chrono::milliseconds kServerQueryLimit{300};
constexpr std::chrono::milliseconds kConnectLimit{1000};
// The capture's thread only copies what is there; it answers at once unless
// the machine is very busy, and an order never waits longer.
constexpr std::chrono::milliseconds kCollectLimit{20};

}  // namespace

PulseAudioInput::~PulseAudioInput() {
    stop();
}

bool PulseAudioInput::available() {
    const ServerAnswer server = ask_default_source(kServerQueryLimit);
    const SourceChoice choice =
        choose_source(server, qEnvironmentVariable("TAPERLY_AUDIO_INPUT").toStdString());
    timing_ = path_timing(server.server_name);
    source_ = choice.name;
    problem_ = choice.problem;
    return !source_.empty();
}

bool PulseAudioInput::start(FrameSink sink) {
    stop();
    // Asked anew each time: the server may have gone since the take opened.
    if (!available()) {
        return false;
    }
    capture_ = PulseCapture::start(source_, kCapturePace, kConnectLimit, problem_);
    if (!capture_) {
        return false;
    }
    problem_.clear();
    sink_ = std::move(sink);
    wake_ = std::make_unique<QSocketNotifier>(capture_->wake_fd(), QSocketNotifier::Read);
    QObject::connect(wake_.get(), &QSocketNotifier::activated, [this] { deliver_captured(); });
    return true;
}

void PulseAudioInput::deliver_up_to_now() {
    if (capture_) {
        capture_->collect_now(kCollectLimit);
    }
    deliver_captured();
}

void PulseAudioInput::stop() {
    if (!capture_) {
        return;
    }
    deliver_up_to_now();
    wake_.reset();
    capture_.reset();
    sink_ = nullptr;
    bytes_.clear();
}

bool PulseAudioInput::running() const {
    return capture_ && !capture_->failed();
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
