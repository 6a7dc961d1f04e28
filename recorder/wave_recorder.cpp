#include "recorder/wave_recorder.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "recorder/takes/native_file.h"
#include "recorder/takes/take_format.h"

namespace taperly {

static_assert(kCaptureRate == kTakeSampleRate, "takes are stored as they are captured");

WaveRecorder::WaveRecorder(std::unique_ptr<AudioInput> input, std::unique_ptr<TakeWriter> writer,
                           PreRollSettings pre_roll, RoomWatch room)
    : writer_(std::move(writer)),
      input_(std::move(input)),
      room_(std::move(room)),
      settings_(std::move(pre_roll)),
      pre_roll_(settings_.margin) {}

WaveRecorder::~WaveRecorder() {
    // Capture must end before the take it feeds is dropped.
    try {
        close();
    } catch (...) {
    }
}

void WaveRecorder::setFileName(const std::string& file_name) {
    file_name_ = file_name;
}

std::string WaveRecorder::FileName() const {
    return file_name_;
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
    RecorderTrouble trouble = trouble_;
    // Known as soon as the capture dies or cannot connect, between takes or
    // during one, not at the next order.
    if ((listening() || recording_) && trouble.kind == RecorderTrouble::Kind::kNone &&
        !input_->running()) {
        const std::string problem = input_->problem();
        trouble = {RecorderTrouble::Kind::kNoInput,
                   problem.empty() ? "the sound input stopped delivering sound" : problem};
    }
    trouble.part_kept =
        open_ && trouble.kind != RecorderTrouble::Kind::kNone && writer_->frames() > 0;
    return trouble;
}

TakeStorage WaveRecorder::storage() const {
    TakeStorage storage;
    storage.folder = room_.folder();
    storage.free_bytes = room_.free_bytes();
    storage.disk_full = room_.full();
    outcomes_.tell(storage);
    return storage;
}

std::chrono::milliseconds WaveRecorder::now() const {
    return settings_.now ? settings_.now() : std::chrono::milliseconds(0);
}

void WaveRecorder::listen_between_takes(std::chrono::milliseconds reach) {
    // A run begins: whether there is room is known before the first call.
    room_.look(now());
    if (!settings_.enabled || !settings_.now) {
        return;
    }
    pre_roll_.begin(kTakeSampleRate, reach);
    // A poll interval and a status reply's time on the line: half the reach.
    edges_.hold_for(reach / 2);
    if (!input_->running()) {
        look_for_input_again();
    }
}

void WaveRecorder::stop_listening() {
    if (!listening()) {
        return;
    }
    pre_roll_.end();
    if (!recording_) {
        input_->stop();
    }
}

void WaveRecorder::heard_nothing_at(std::chrono::milliseconds sent) {
    room_.look_if_due(now());
    pre_roll_.heard_nothing_at(sent);
    if (!listening()) {
        return;
    }
    if (input_->running()) {
        // Found again in the background since it was missing.
        if (trouble_.kind == RecorderTrouble::Kind::kNoInput) {
            trouble_ = {};
        }
        // Taken now, on a reply the program handles anyway, rather than on a
        // wake-up of its own; during a take the "stop" that follows takes it,
        // up to where the take ends.
        if (!recording_) {
            input_->deliver_pending();
        }
    } else if (!open_ && settings_.now() - last_looked_ >= settings_.retry_every) {
        look_for_input_again();
    }
}

bool WaveRecorder::start_capture() {
    return input_->start(
        [this](std::span<const std::int16_t> frames, std::chrono::milliseconds newest_at) {
            take_frames(frames, newest_at);
        });
}

void WaveRecorder::look_for_input_again() {
    last_looked_ = settings_.now();
    if (start_capture()) {
        if (trouble_.kind == RecorderTrouble::Kind::kNoInput) {
            trouble_ = {};
        }
    } else {
        set_trouble({RecorderTrouble::Kind::kNoInput, input_->problem()});
    }
}

void WaveRecorder::set_take_start(const std::string& started) {
    take_start_ = started;
    outcomes_.take_begun();
}

void WaveRecorder::set_take_tags(const TakeTags& tags) {
    writer_->describe(tags);
}

void WaveRecorder::set_trouble(RecorderTrouble trouble) {
    // Told once when it begins, not at every repeated order of the take.
    if (trouble.kind == RecorderTrouble::Kind::kNoInput && trouble != trouble_) {
        std::fprintf(stderr, "Taperly: no sound input, nothing is recorded: %s\n",
                     trouble.detail.c_str());
    }
    if (trouble.kind == RecorderTrouble::Kind::kDiskFull && trouble != trouble_) {
        std::fprintf(stderr, "Taperly: the disk of %s is full, nothing is recorded\n",
                     trouble.detail.c_str());
    }
    trouble_ = std::move(trouble);
}

bool WaveRecorder::room_for_a_take() {
    // Looked at again on every attempt while full: a file removed counts at once.
    if (room_.full()) {
        room_.look(now());
    }
    return !room_.full();
}

void WaveRecorder::open() {
    if (open_) {
        return;
    }
    // No take file at all rather than an empty one.
    if (!room_for_a_take()) {
        set_trouble({RecorderTrouble::Kind::kDiskFull, room_.folder()});
        return;
    }
    // A capture running between takes is an input that is there.
    if (!(listening() && input_->running()) && !input_->available()) {
        set_trouble({RecorderTrouble::Kind::kNoInput, input_->problem()});
        return;
    }
    if (!writer_->begin(take_start_)) {
        set_trouble({RecorderTrouble::Kind::kCannotHold, writer_->failure().told});
        return;
    }
    trouble_ = {};
    take_cut_ = false;
    open_ = true;
    recording_ = false;
    stopped_ = false;
    first_record_due_ = true;
    edges_.cut_before(std::nullopt);
}

void WaveRecorder::record() {
    if (!open_) {
        return;
    }
    room_.look_if_due(now());
    if (first_record_due_ && settings_.now) {
        began_at_ = settings_.now();
    }
    // A capture already running is left alone: restarting it would leave a
    // gap. One that died (the sound server went away) is started again so
    // the take goes on at its end.
    if (recording_ && input_->running()) {
        input_->deliver_pending();
        return;
    }
    input_->set_in_take(true);
    if (listening() && input_->running()) {
        // What came since the last delivery is kept first, so the take
        // begins with all of it that is due.
        input_->deliver_pending();
        if (first_record_due_) {
            const auto from = pre_roll_.hand_over(
                began_at_, [this](std::span<const std::int16_t> frames) { write_frames(frames); });
            // Between takes sound comes in large pieces: the take's first
            // may still be on its way.
            if (writer_->frames() == 0) {
                edges_.cut_before(from);
            }
        }
        pre_roll_.forget();
        first_record_due_ = false;
        recording_ = true;
        if (trouble_.kind == RecorderTrouble::Kind::kNoInput) {
            trouble_ = {};
        }
        return;
    }
    first_record_due_ = false;
    if (start_capture()) {
        recording_ = true;
        if (trouble_.kind == RecorderTrouble::Kind::kNoInput) {
            trouble_ = {};
        }
    } else {
        recording_ = false;
        set_trouble({RecorderTrouble::Kind::kNoInput, input_->problem()});
    }
}

void WaveRecorder::stop() {
    if (!open_) {
        return;
    }
    if (recording_) {
        pre_roll_.forget();
        if (listening()) {
            // Between takes the capture goes on. A take that the scanner
            // ended ends where it said it heard nothing: what came after
            // that is the next take's, should one begin soon, and never
            // both.
            input_->deliver_up_to_now();
            const auto quiet = pre_roll_.quiet_since();
            write_held(quiet && *quiet > began_at_
                           ? std::optional(*quiet + pre_roll_.margin() + input_->date_spread())
                           : std::nullopt);
        } else {
            input_->stop();
        }
        input_->set_in_take(false);
        recording_ = false;
    }
    edges_.cut_before(std::nullopt);
    stopped_ = true;
}

void WaveRecorder::take_frames(std::span<const std::int16_t> frames,
                               std::chrono::milliseconds newest_at) {
    if (frames.empty()) {
        return;
    }
    if (!open_ || !recording_) {
        pre_roll_.keep(frames, newest_at);
    } else if (listening()) {
        edges_.add(frames, newest_at,
                   [this](std::span<const std::int16_t> kept) { write_frames(kept); });
    } else {
        write_frames(frames);
    }
}

void WaveRecorder::write_held(std::optional<std::chrono::milliseconds> ends_at) {
    edges_.end(
        ends_at, [this](std::span<const std::int16_t> frames) { write_frames(frames); },
        [this](std::span<const std::int16_t> frames, std::chrono::milliseconds newest_at) {
            pre_roll_.keep(frames, newest_at);
        });
}

void WaveRecorder::write_frames(std::span<const std::int16_t> frames) {
    if (frames.empty()) {
        return;
    }
    writer_->append(frames);
    const TakeFailure& failure = writer_->failure();
    if (failure.empty() || take_cut_) {
        return;
    }
    take_cut_ = true;
    outcomes_.cut(failure);
    if (failure.out_of_room) {
        room_.ran_out(now());
    }
    trouble_ = {RecorderTrouble::Kind::kWriteFailed, failure.told};
}

}  // namespace taperly
