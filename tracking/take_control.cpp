#include "recorder/recorder_orders.h"
#include "tracking/display_capture.h"
#include "tracking/reception_tracker.h"
#include "tracking/take_naming.h"
#include "tracking/take_tags.h"

namespace taperly {

void ReceptionTracker::handle_status_reply(const ReplyFields& fields) {
    activity_.last_status = clock_.steady_time();
    if (fields.at(9) != "0") {
        finish_take();
    } else {
        if (state_.Label7 == "-") {
            const LocalTime now = clock_.local_time();
            state_.Label7 = now.time_of_day;
            name_not_saved_.clear();
            // The hidden file the recorder opens carries the start, so that a
            // take cut short by a crash can still be named by it.
            recorder_.set_take_start(time_piece(state_.Label7) + "_" + date_text(now.date));
            take_began_ = clock_.steady_time();
            take_started_ = now;
            take_part_ = 1;
            recorder_.set_take_tags(take_tags(log_entry(now)));
        } else if (clock_.steady_time() - take_began_ >= longest_take_) {
            split_take();
        }
        open_and_record(recorder_);
        capture_display_lines(state_, fields);
    }
    follow_display(fields);
}

bool ReceptionTracker::finish_take_of_silent_scanner(SteadyTime now, SteadyTime limit) {
    if (!state_.take_in_progress() || now - activity_.last_status < limit) {
        return false;
    }
    finish_take();
    return true;
}

}  // namespace taperly
