#include "recorder/wave_recorder.h"

#include <cstdio>
#include <utility>

#include "recorder/native_file.h"

namespace taperly {

WaveRecorder::WaveRecorder(std::unique_ptr<AudioInput> input, std::unique_ptr<TakeWriter> writer)
    : writer_(std::move(writer)), input_(std::move(input)) {}

WaveRecorder::~WaveRecorder() {
    // Capture must end before the take it feeds is dropped.
    try {
        close();
    } catch (...) {
    }
}

// Taperly records one way only (a new 16-bit mono take, overwriting nothing),
// whatever these say; they are accepted so callers can set them as they do.
void WaveRecorder::setNotify(bool) {}
void WaveRecorder::setWait(bool) {}
void WaveRecorder::setShareable(bool) {}
void WaveRecorder::setDeviceType(const std::string&) {}
void WaveRecorder::setRecordMode(int) {}

void WaveRecorder::setFileName(const std::string& file_name) {
    try {
        file_name_ = file_name;
    } catch (...) {
    }
}

std::string WaveRecorder::FileName() const {
    try {
        return file_name_;
    } catch (...) {
        return {};
    }
}

void WaveRecorder::Command(const std::string& order) {
    // A refused or failed order leaves no trace for the caller.
    try {
        if (order == "Open") {
            open();
        } else if (order == "Record") {
            record();
        } else if (order == "stop") {
            stop();
        } else if (order == "save") {
            save();
        } else if (order == "close") {
            close();
        }
    } catch (...) {
    }
}

int WaveRecorder::Mode() const {
    if (!open_) {
        return kModeNotOpen;
    }
    if (recording_ && input_->running()) {
        return kModeRecording;
    }
    return recording_ || stopped_ ? kModeStopped : kModeOpen;
}

RecorderTrouble WaveRecorder::trouble() const {
    return trouble_;
}

void WaveRecorder::set_take_start(const std::string& started) {
    try {
        take_start_ = started;
    } catch (...) {
    }
}

void WaveRecorder::set_trouble(RecorderTrouble trouble) {
    // Told once when it begins, not at every repeated order of the take.
    if (trouble.kind == RecorderTrouble::Kind::kNoInput && trouble != trouble_) {
        std::fprintf(stderr, "Taperly: no sound input, nothing is recorded: %s\n",
                     trouble.detail.c_str());
    }
    trouble_ = std::move(trouble);
}

void WaveRecorder::open() {
    if (open_) {
        return;
    }
    if (!input_->available()) {
        set_trouble({RecorderTrouble::Kind::kNoInput, input_->problem()});
        return;
    }
    if (!writer_->begin(take_start_)) {
        set_trouble({RecorderTrouble::Kind::kCannotHold, writer_->failure()});
        return;
    }
    trouble_ = {};
    open_ = true;
    recording_ = false;
    stopped_ = false;
    captured_any_ = false;
}

void WaveRecorder::record() {
    if (!open_) {
        return;
    }
    // A capture already running is left alone: restarting it would leave a
    // gap. One that died (the sound server went away) is started again so
    // the take goes on at its end.
    if (recording_ && input_->running()) {
        return;
    }
    if (input_->start([this](std::span<const std::int16_t> frames) { take_frames(frames); })) {
        recording_ = true;
        if (trouble_.kind == RecorderTrouble::Kind::kNoInput) {
            trouble_ = {};
        }
    } else {
        set_trouble({RecorderTrouble::Kind::kNoInput, input_->problem()});
    }
}

void WaveRecorder::stop() {
    if (!open_) {
        return;
    }
    if (recording_) {
        input_->stop();
        recording_ = false;
    }
    stopped_ = true;
}

void WaveRecorder::save() {
    if (!open_ || nothing_could_be_captured() || !is_bare_file_name(file_name_)) {
        return;
    }
    writer_->save_as(file_name_);
}

void WaveRecorder::close() {
    take_start_.clear();
    if (!open_) {
        return;
    }
    stop();
    writer_->discard();
    open_ = false;
    stopped_ = false;
}

void WaveRecorder::take_frames(std::span<const std::int16_t> frames) {
    if (!open_ || !recording_ || frames.empty()) {
        return;
    }
    captured_any_ = true;
    writer_->append(frames);
    if (trouble_.kind != RecorderTrouble::Kind::kWriteFailed) {
        if (std::string failure = writer_->failure(); !failure.empty()) {
            trouble_ = {RecorderTrouble::Kind::kWriteFailed, std::move(failure)};
        }
    }
}

bool is_bare_file_name(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(name_breakers()) == std::string::npos;
}

}  // namespace taperly
