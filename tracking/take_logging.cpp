#include "tracking/reception_tracker.h"
#include "tracking/take_naming.h"

namespace taperly {

namespace {

// The scanner's texts are Latin-1, the log's UTF-8; "-" is the state's word
// for a line not seen.
std::string logged(const std::string& text) {
    return text == "-" ? std::string() : latin1_to_utf8(text);
}

}  // namespace

TakeLogEntry ReceptionTracker::log_entry(const LocalTime& end) const {
    TakeLogEntry entry;
    entry.start = take_started_;
    entry.end = end;
    entry.system = logged(state_.gid_system_name);
    entry.group = logged(state_.gid_group_name);
    entry.talkgroup = logged(state_.gid_tg_name);
    entry.talkgroup_id = state_.gid_tg_id;
    entry.display_line1 = logged(state_.scan_system1);
    entry.display_line2 = logged(state_.scan_group1);
    return entry;
}

void ReceptionTracker::log_ended_take(TakeLogEntry entry, const EndedTake& ended, bool name_free,
                                      bool split_part) {
    if (take_log_ == nullptr) {
        return;
    }
    entry.frames = ended.frames;
    entry.peak = ended.peak;
    entry.file_name = recorder_.FileName();
    switch (ended.saved) {
        case EndedTake::Saved::kStored:
            entry.outcome = split_part ? TakeOutcome::kSplit : TakeOutcome::kSaved;
            entry.reason = ended.reason;
            break;
        case EndedTake::Saved::kNameTaken:
            entry.outcome = TakeOutcome::kNameTaken;
            break;
        case EndedTake::Saved::kFailed:
            entry.outcome = TakeOutcome::kNotSaved;
            entry.reason = ended.reason;
            break;
        case EndedTake::Saved::kPending:
            // Its row comes once its save is done (log_late_save).
            return;
        case EndedTake::Saved::kNotAsked:
            entry.outcome = name_free ? TakeOutcome::kNotSaved : TakeOutcome::kNameTaken;
            entry.reason = "the name cannot stand in the takes folder";
            break;
    }
    take_log_->add(entry);
}

void ReceptionTracker::log_late_save(const TakeLogEntry& entry, bool split_part) {
    if (take_log_ == nullptr) {
        return;
    }
    // Called on the thread that stored the take: only the log, which is
    // safe there, and the row as it was when the take ended.
    recorder_.when_saved_later([log = take_log_, entry, split_part](const LateSave& late) {
        TakeLogEntry row = entry;
        row.frames = late.frames;
        row.peak = late.peak;
        row.file_name = late.file_name;
        row.reason = late.reason;
        switch (late.saved) {
            case LateSave::Saved::kStored:
                row.outcome = split_part ? TakeOutcome::kSplit : TakeOutcome::kSaved;
                break;
            case LateSave::Saved::kNameTaken:
                row.outcome = TakeOutcome::kNameTaken;
                break;
            case LateSave::Saved::kFailed:
                row.outcome = TakeOutcome::kNotSaved;
                break;
        }
        log->add(row);
    });
}

}  // namespace taperly
