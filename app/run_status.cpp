#include "app/freed_memory.h"
#include "app/run_control.h"

// What the status line says, from the facts of the run and of the takes.

namespace taperly {

void RunControl::report(const StatusText& message) {
    if (!run_is_on()) {
        show(message);
        return;
    }
    held_report_ = message;
    report_held_at_mode_ = recorder_.Mode();
    refresh_status();
}

void RunControl::show(const StatusText& status) {
    window_.set_status_text(status.text);
    window_.set_status_detail(status.detail);
}

StatusFacts RunControl::status_facts() {
    StatusFacts facts;
    take_storage_facts(facts);
    if (held_report_ && report_held_at_mode_ != facts.recorder_mode) {
        held_report_.reset();
        report_held_at_mode_.reset();
    }
    facts.held_report = held_report_;
    facts.line_lost = line_.is_lost();
    facts.line_never_opened = facts.line_lost && !line_.has_been_open();
    facts.line_name = line_.line_name();
    facts.bits_per_second = line_.bits_per_second();
    facts.lost_reason = line_.lost_reason();
    facts.last_attempt_error = line_.last_attempt_error();
    const SteadyTime now = clock_.steady_time();
    facts.since_byte = now - tracker_.activity().last_byte;
    facts.since_reply = now - tracker_.activity().last_reply;
    facts.other_reply = tracker_.activity().other_reply;
    facts.quiet_limit = quiet_limit(window_.poll_period());
    facts.take_in_progress = tracker_.state().take_in_progress();
    facts.take_split = tracker_.take_split();
    facts.longest_take_minutes = static_cast<int>(tracker_.longest_take().count());
    facts.sound = recorder_.trouble();
    return facts;
}

void RunControl::refresh_status() {
    const StatusFacts facts = status_facts();
    // A lost line or sound server leaves what its old connection held freed
    // among what the new one took; kept by the allocator, it would add up
    // over weeks of faults.
    const bool troubled = facts.line_lost || facts.sound.kind != RecorderTrouble::Kind::kNone;
    if (troubled_ && !troubled) {
        hand_back_freed_memory();
    }
    troubled_ = troubled;
    show(status_line_text(facts));
}

void RunControl::mode_timer_fired() {
    refresh_status();
}

void RunControl::late_saves_arrived() {
    if (!recorder_.settle_late_saves()) {
        return;
    }
    if (run_is_on()) {
        refresh_status();
    } else {
        show_takes_outcome();
    }
}

void RunControl::show_takes_outcome() {
    // A run that is over: what became of the takes, and nothing of the
    // line, which is never counted as quiet.
    StatusFacts facts;
    facts.quiet_limit = SteadyTime::max();
    take_storage_facts(facts);
    show(status_line_text(facts));
}

void RunControl::take_storage_facts(StatusFacts& facts) {
    recorder_.settle_late_saves();
    facts.recorder_mode = recorder_.Mode();
    facts.storage = recorder_.storage();
    // The same news, whoever found the name taken: the tracker before the
    // save, or the save itself.
    facts.name_not_saved =
        !tracker_.name_not_saved().empty() ? tracker_.name_not_saved() : facts.storage.name_taken;
    if (facts.storage.saved_count != saved_count_) {
        saved_count_ = facts.storage.saved_count;
        recovered_note_.reset();
    }
    facts.recovered = recovered_note_;
    facts.keeping_off = keeping_report_ ? keeping_report_() : std::string();
    if (uploads_ != nullptr) {
        if (const std::optional<UploadsNote> note = uploads_->note()) {
            facts.uploads = StatusText{note->text, note->detail};
        }
    }
}

}  // namespace taperly
