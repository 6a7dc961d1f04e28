#include <cstdio>

#include "settings/file_exists.h"
#include "tracking/file_name_limits.h"
#include "tracking/reception_tracker.h"
#include "tracking/take_naming.h"

namespace taperly {

void ReceptionTracker::finish_take() {
    // The times are taken before the recorder is stopped.
    const std::string start = time_piece(state_.Label7);
    // The date comes from the same reading as the end time: read after the
    // stop, it could be the next day's.
    const LocalTime now = clock_.local_time();
    const std::string end = time_piece(now.time_of_day);
    recorder_.Command("stop");

    std::vector<std::string> texts;
    std::string date;
    if (state_.gid_system_name.empty()) {
        clean_name_piece(state_.scan_system1);
        clean_name_piece(state_.scan_system2);
        clean_name_piece(state_.scan_group1);
        clean_name_piece(state_.scan_group2);
        date = date_text(now.date);
        texts = {state_.scan_system1, state_.scan_system2, state_.scan_group1};
        if (state_.scan_group2 != "-") {
            texts.push_back(state_.scan_group2);
        }
    } else {
        clean_name_piece(state_.gid_system_name);
        clean_name_piece(state_.gid_group_name);
        clean_name_piece(state_.gid_tg_name);
        date = date_text(now.date);
        texts = {state_.gid_system_name, state_.gid_group_name, state_.gid_tg_name};
    }
    recorder_.setFileName(
        compose_take_name(std::move(texts), start, end, date, take_name_room(takes_folder_)));

    if (!file_exists(join_path(takes_folder_, recorder_.FileName()))) {
        recorder_.Command("save");
    } else if (state_.take_in_progress()) {
        // No file is ever replaced; the take is dropped, but not in silence.
        name_not_saved_ = recorder_.FileName();
        std::fprintf(stderr,
                     "Taperly: a file named %s already exists; this take is not saved and that "
                     "file is left as it is\n",
                     name_not_saved_.c_str());
    }
    recorder_.Command("close");
    state_.clear();
}

}  // namespace taperly
