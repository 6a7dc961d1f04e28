#include <utility>

#include "recorder/wave_recorder.h"

// How the recorder ends a take: saved, split off a call that goes on, or
// closed, and what each one tells of it.

namespace taperly {

void WaveRecorder::save() {
    // A take that holds no sound leaves no file, not an empty one.
    if (!open_ || writer_->frames() == 0 || !is_bare_file_name(file_name_)) {
        return;
    }
    const bool whole = !take_cut_;
    writer_->when_saved_later(outcomes_.told_later(std::exchange(late_told_, nullptr), whole));
    switch (writer_->save_as(file_name_)) {
        case TakeWriter::Saved::kStored:
            outcomes_.saved({}, whole);
            saved_ = EndedTake::Saved::kStored;
            break;
        case TakeWriter::Saved::kStoredNotFlushed:
            outcomes_.saved(writer_->failure(), whole);
            saved_ = EndedTake::Saved::kStored;
            save_note_ = "not flushed: " + writer_->failure().reason;
            break;
        case TakeWriter::Saved::kNameTaken:
            outcomes_.name_taken(file_name_);
            saved_ = EndedTake::Saved::kNameTaken;
            break;
        case TakeWriter::Saved::kFailed:
            outcomes_.not_saved(writer_->failure());
            keep_hidden_ = true;
            saved_ = EndedTake::Saved::kFailed;
            save_note_ = writer_->failure().reason;
            break;
        case TakeWriter::Saved::kPending:
            // Nothing is known yet, so nothing told before is over.
            saved_ = EndedTake::Saved::kPending;
            break;
    }
}

std::optional<EndedTake> WaveRecorder::split_take(bool save, const std::string& started) {
    if (!open_ || !recording_) {
        return std::nullopt;
    }
    // What capture has handed over so far is this part's; whatever comes
    // later is the next part's, so the two join at a sample.
    input_->deliver_pending();
    write_held(std::nullopt);
    if (save) {
        this->save();
    }
    const EndedTake ended = take_ended();
    if (keep_hidden_) {
        writer_->keep_hidden();
        keep_hidden_ = false;
    }
    take_start_ = started;
    if (trouble_.kind == RecorderTrouble::Kind::kWriteFailed) {
        trouble_ = {};
    }
    take_cut_ = false;
    if (!writer_->begin(started)) {
        set_trouble({RecorderTrouble::Kind::kCannotHold, writer_->failure().told});
    }
    return ended.frames > 0 ? std::optional(ended) : std::nullopt;
}

std::optional<EndedTake> WaveRecorder::close_take() {
    // Refused or failed, it leaves no trace for the caller.
    try {
        return close();
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<EndedTake> WaveRecorder::close() {
    // Without capture between takes a missing input is a take's trouble only.
    if (!listening() && trouble_.kind == RecorderTrouble::Kind::kNoInput) {
        trouble_ = {};
    }
    take_start_.clear();
    late_told_ = nullptr;
    std::optional<EndedTake> ended;
    if (open_) {
        stop();
        ended = take_ended();
        if (keep_hidden_) {
            writer_->keep_hidden();
        } else {
            writer_->discard();
        }
        keep_hidden_ = false;
        open_ = false;
        stopped_ = false;
    }
    // Once the take is closed, so that one kept for recovery keeps its tags.
    writer_->describe({});
    if (ended && ended->frames == 0) {
        ended.reset();
    }
    return ended;
}

}  // namespace taperly
