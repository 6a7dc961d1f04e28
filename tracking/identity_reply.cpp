#include "tracking/reception_tracker.h"
#include "tracking/text_ops.h"

namespace taperly {

void ReceptionTracker::handle_identity_reply(std::string_view text) {
    const ReplyFields fields(text);
    if (fields.highest_index() < kIdentityHighestIndex) {
        return;
    }
    std::string talkgroup = fields.at(6);
    replace_all(talkgroup, "\r", "");
    replace_all(talkgroup, "STS", "");
    // Scanners of this family answer with the names once per reception and
    // then with empty fields; those must not wipe the names of a take.
    const bool no_names = fields.at(4).empty() && fields.at(5).empty() && talkgroup.empty();
    if (no_names && state_.take_in_progress()) {
        return;
    }
    state_.gid_system_name = fields.at(4);
    state_.gid_group_name = fields.at(5);
    state_.gid_tg_name = talkgroup;
}

}  // namespace taperly
