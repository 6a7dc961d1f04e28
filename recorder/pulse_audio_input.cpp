#include "recorder/pulse_audio_input.h"

#include <QtGlobal>

#include <cstring>

#include "recorder/default_source.h"
#include "recorder/source_choice.h"

namespace taperly {

namespace {

// Asked briefly: a server that accepts but never answers must not hold up
// an order.
constexpr std::chrono::milliseconds kServerQueryLimit{300};
constexpr std::chrono::milliseconds kConnectLimit{1000};
// Pieces of this length wake Taperly twenty times a second while it records.
constexpr std::chrono::milliseconds kPiece{50};

}  // namespace

PulseAudioInput::~PulseAudioInput() {
    stop();
}

bool PulseAudioInput::available() {
    const SourceChoice choice =
        choose_source(ask_default_source(kServerQueryLimit),
                      qEnvironmentVariable("TAPERLY_AUDIO_INPUT").toStdString());
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
    capture_ = PulseCapture::start(source_, kPiece, kConnectLimit, problem_);
    if (!capture_) {
        return false;
    }
    problem_.clear();
    sink_ = std::move(sink);
    wake_ = std::make_unique<QSocketNotifier>(capture_->wake_fd(), QSocketNotifier::Read);
    QObject::connect(wake_.get(), &QSocketNotifier::activated, [this] { deliver_captured(); });
    return true;
}

void PulseAudioInput::stop() {
    if (!capture_) {
        return;
    }
    deliver_captured();
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
    capture_->take(bytes_);
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
    sink(frames_);
}

}  // namespace taperly
