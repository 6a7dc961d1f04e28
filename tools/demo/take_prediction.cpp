#include "tools/demo/take_prediction.h"

#include <vector>

#include "tracking/take_naming.h"

namespace taperly::demo {

std::string predict_take_name(TakeState state, const std::string& end_time,
                              const CalendarDate& date) {
    // The same choice of texts the tracker makes when a take ends.
    std::vector<std::string> texts;
    if (state.gid_system_name.empty()) {
        clean_name_piece(state.scan_system1);
        clean_name_piece(state.scan_system2);
        clean_name_piece(state.scan_group1);
        clean_name_piece(state.scan_group2);
        texts = {state.scan_system1, state.scan_system2, state.scan_group1};
        if (state.scan_group2 != "-") {
            texts.push_back(state.scan_group2);
        }
    } else {
        clean_name_piece(state.gid_system_name);
        clean_name_piece(state.gid_group_name);
        clean_name_piece(state.gid_tg_name);
        texts = {state.gid_system_name, state.gid_group_name, state.gid_tg_name};
    }
    return compose_take_name(std::move(texts), time_piece(state.Label7), time_piece(end_time),
                             date_text(date));
}

bool has_identity_names(const TakeState& state) {
    return !state.gid_system_name.empty();
}

bool same_identity_names(const TakeState& a, const TakeState& b) {
    return a.gid_system_name == b.gid_system_name && a.gid_group_name == b.gid_group_name &&
           a.gid_tg_name == b.gid_tg_name;
}

}  // namespace taperly::demo
