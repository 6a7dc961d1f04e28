#include "recorder/capture/qt_audio_input.h"

#include <QAudioFormat>
#include <QMediaDevices>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <utility>

#include "recorder/capture/audio_input.h"
#include "recorder/capture/default_source.h"

namespace taperly {

namespace {

constexpr std::chrono::milliseconds kServerQueryLimit{300};

QAudioFormat capture_format() {
    QAudioFormat format;
    format.setSampleRate(kCaptureRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

}  // namespace

AudioInputChoice choose_audio_input() {
    // Asked first and briefly: Qt waits for a server that accepts but never
    // answers (a frozen one) without end, and no order may hang.
    const ServerAnswer server = ask_default_source(kServerQueryLimit);
    if (server.kind == ServerAnswer::Kind::kSilent) {
        return {{}, "the sound server does not answer"};
    }
    // Qt 6.4 keeps listing the inputs of a server that is gone, and a capture
    // started while it is gone breaks Qt's sound for the rest of the process:
    // nothing would be recorded again even once the server is back.
    if (server.kind == ServerAnswer::Kind::kNoServer) {
        return {{}, "the sound server is not running"};
    }
    const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
    if (inputs.isEmpty()) {
        return {{}, "there is no sound input (is the sound server running and a source there?)"};
    }
    const QString wanted = qEnvironmentVariable("TAPERLY_AUDIO_INPUT");
    if (!wanted.isEmpty()) {
        for (const QAudioDevice& input : inputs) {
            if (QString::fromUtf8(input.id()) == wanted) {
                return {input, {}};
            }
        }
        for (const QAudioDevice& input : inputs) {
            if (input.description().contains(wanted, Qt::CaseInsensitive)) {
                return {input, {}};
            }
        }
        // Recording another input than the one asked for would fill takes
        // with the wrong sound and look like success.
        const std::string problem =
            "no sound input matches TAPERLY_AUDIO_INPUT=" + wanted.toStdString();
        std::fprintf(stderr, "Taperly: %s\n", problem.c_str());
        return {{}, problem};
    }
    // Qt 6.4 can report the first source as the default once the default was
    // changed, so the server's own answer decides.
    for (const QAudioDevice& input : inputs) {
        if (!server.default_source.empty() && input.id().toStdString() == server.default_source) {
            return {input, {}};
        }
    }
    const QAudioDevice fallback = QMediaDevices::defaultAudioInput();
    return {fallback.isNull() ? inputs.first() : fallback, {}};
}

QtAudioInput::QtAudioInput() : samples_(1 << 14) {}

QtAudioInput::~QtAudioInput() {
    stop();
    release_retired();
}

bool QtAudioInput::available() {
    AudioInputChoice choice = choose_audio_input();
    device_ = choice.device;
    problem_ = std::move(choice.problem);
    return !device_.isNull();
}

std::string QtAudioInput::problem() const {
    return problem_;
}

bool QtAudioInput::start(FrameSink sink) {
    stop();
    // Asked anew each time: the server may have gone since the take opened.
    if (!available()) {
        return false;
    }
    source_ = std::make_unique<QAudioSource>(device_, capture_format());
    captured_ = source_->start();
    if (captured_.isNull() || source_->error() != QAudio::NoError) {
        problem_ = "the sound input \"" + device_.description().toStdString() +
                   "\" cannot be recorded from";
        retire_source();
        captured_ = nullptr;
        return false;
    }
    problem_.clear();
    sink_ = std::move(sink);
    QObject::connect(captured_, &QIODevice::readyRead, &context_, [this] { deliver_captured(); });
    return true;
}

void QtAudioInput::stop() {
    deliver_captured();
    if (captured_) {
        QObject::disconnect(captured_, nullptr, &context_, nullptr);
    }
    retire_source();
    captured_ = nullptr;
    sink_ = nullptr;
    carried_bytes_ = 0;
}

void QtAudioInput::retire_source() {
    if (!source_) {
        return;
    }
    // Stopped before it goes: destroying a running source can abort inside
    // the sound library. Destroyed once the event loop is back, because Qt
    // turns the event loop while it tears a source down, and in the middle
    // of a poll that would let other handlers run inside it.
    source_->stop();
    retired_.push_back(std::move(source_));
    QTimer::singleShot(0, &context_, [this] { release_retired(); });
}

void QtAudioInput::release_retired() {
    // Taken out first: a nested turn of the event loop finds nothing left.
    std::vector<std::unique_ptr<QAudioSource>> retired;
    retired.swap(retired_);
    retired.clear();
}

bool QtAudioInput::running() const {
    return source_ && !captured_.isNull() && source_->state() != QAudio::StoppedState;
}

void QtAudioInput::deliver_captured() {
    if (captured_.isNull() || !sink_) {
        return;
    }
    auto* bytes = reinterpret_cast<char*>(samples_.data());
    const std::size_t room = samples_.size() * sizeof(std::int16_t);
    for (;;) {
        const qint64 got =
            captured_->read(bytes + carried_bytes_, static_cast<qint64>(room - carried_bytes_));
        if (got <= 0) {
            return;
        }
        const std::size_t held = carried_bytes_ + static_cast<std::size_t>(got);
        const std::size_t whole = held / sizeof(std::int16_t);
        // Dated as it is read: later than it was captured, the safe side.
        const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
        sink_(std::span<const std::int16_t>(samples_.data(), whole), now);
        carried_bytes_ = held % sizeof(std::int16_t);
        if (carried_bytes_ != 0) {
            bytes[0] = bytes[held - 1];
        }
        if (captured_.isNull()) {
            return;
        }
    }
}

}  // namespace taperly
