#include <cstdio>

#include "settings/file_exists.h"
#include "tracking/file_name_limits.h"
#include "tracking/reception_tracker.h"
#include "tracking/take_naming.h"
#include "tracking/take_tags.h"

namespace taperly {

std::string ReceptionTracker::name_take(TakeState& state, const std::string& end,
                                        const CalendarDate& ended_on) const {
    const std::string start = time_piece(state.Label7);
    std::vector<std::string> texts;
    if (state.gid_system_name.empty()) {
        clean_name_piece(state.scan_system1, folder_refuses_);
        clean_name_piece(state.scan_system2, folder_refuses_);
        clean_name_piece(state.scan_group1, folder_refuses_);
        clean_name_piece(state.scan_group2, folder_refuses_);
        texts = {state.scan_system1, state.scan_system2, state.scan_group1};
        if (state.scan_group2 != "-") {
            texts.push_back(state.scan_group2);
        }
    } else {
        clean_name_piece(state.gid_system_name, folder_refuses_);
        clean_name_piece(state.gid_group_name, folder_refuses_);
        clean_name_piece(state.gid_tg_name, folder_refuses_);
        texts = {state.gid_system_name, state.gid_group_name, state.gid_tg_name};
    }
    return compose_take_name(std::move(texts), start, time_piece(end), date_text(ended_on),
                             take_name_room(takes_folder_), recorder_.take_extension());
}

bool ReceptionTracker::name_is_free() {
    if (!file_exists(join_path(takes_folder_, recorder_.FileName()))) {
        return true;
    }
    if (state_.take_in_progress()) {
        // No file is ever replaced; the take is dropped, but not in silence.
        name_not_saved_ = recorder_.FileName();
        std::fprintf(stderr,
                     "Taperly: a file named %s already exists; this take is not saved and that "
                     "file is left as it is\n",
                     name_not_saved_.c_str());
    }
    return false;
}

void ReceptionTracker::finish_take() {
    // The times are taken before the recorder is stopped, and the date comes
    // from the same reading as the end time: read after the stop, it could
    // be the next day's.
    const LocalTime now = clock_.local_time();
    TakeLogEntry entry = log_entry(now);
    // Between takes, five times a second, nothing is open: there is nothing
    // to tag, and no save to hear of.
    const bool taking = state_.take_in_progress();
    recorder_.Command("stop");
    if (taking) {
        recorder_.set_take_tags(take_tags(entry));
    }
    recorder_.setFileName(name_take(state_, now.time_of_day, now.date));
    const bool name_free = name_is_free();
    if (name_free) {
        if (taking) {
            log_late_save(entry, false);
        }
        recorder_.Command("save");
    }
    const std::optional<EndedTake> ended = recorder_.close_take();
    if (ended) {
        log_ended_take(std::move(entry), *ended, name_free, false);
    }
    state_.clear();
    take_part_ = 0;
}

void ReceptionTracker::split_take() {
    const LocalTime now = clock_.local_time();
    // The names are cleaned for this part's name only: the call goes on, and
    // the display capture compares what it holds with the scanner's texts.
    TakeState named = state_;
    TakeLogEntry entry = log_entry(now);
    recorder_.setFileName(name_take(named, now.time_of_day, now.date));
    const bool save = name_is_free();
    recorder_.set_take_tags(take_tags(entry));
    if (save) {
        log_late_save(entry, true);
    }
    // Tried again a longest take from now, whether or not it was split.
    take_began_ = clock_.steady_time();
    const std::optional<EndedTake> ended =
        recorder_.split_take(save, time_piece(now.time_of_day) + "_" + date_text(now.date));
    if (!ended) {
        // Nothing is being recorded (no sound input, a full disk): the take,
        // and whatever it holds, goes on as it began.
        return;
    }
    state_.Label7 = now.time_of_day;
    take_started_ = now;
    ++take_part_;
    recorder_.set_take_tags(take_tags(log_entry(now)));
    log_ended_take(std::move(entry), *ended, save, true);
}

}  // namespace taperly
