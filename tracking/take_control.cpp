#include "recorder/recorder_orders.h"
#include "tracking/display_capture.h"
#include "tracking/reception_tracker.h"

namespace taperly {

void ReceptionTracker::handle_status_reply(const ReplyFields& fields) {
    if (fields.at(9) != "0") {
        finish_take();
    } else {
        open_and_record(recorder_);
        if (state_.Label7 == "-") {
            state_.Label7 = clock_.time_of_day_text();
        }
        capture_display_lines(state_, fields);
    }
    follow_display(fields);
}

}  // namespace taperly
