#include "tracking/reception_tracker.h"
#include "tracking/text_ops.h"

namespace taperly {

namespace {

// The talkgroup's number as the call servers want it: field 2 when it is a
// whole number, without the blanks and leading zeros some models pad it
// with; empty for anything else (an EDACS "02-034", a conventional channel's
// empty field, or 0, which no talkgroup has).
std::string talkgroup_number(std::string field) {
    std::erase(field, ' ');
    const auto first = field.find_first_not_of('0');
    field.erase(0, first == std::string::npos ? field.size() : first);
    const bool digits =
        !field.empty() && field.find_first_not_of("0123456789") == std::string::npos;
    return digits ? field : std::string();
}

}  // namespace

void ReceptionTracker::handle_identity_reply(std::string_view text) {
    // Names go out as they are, commas included, but unlike display lines
    // they are not padded, and a reply may carry fields after the talkgroup
    // name: a comma in a name cannot be told from the end of a field, so the
    // names stay fields 4 to 6 as split. Such a name moves the names after
    // it; the take itself still starts and ends with the status replies.
    const ReplyFields fields(text);
    if (fields.highest_index() < kIdentityHighestIndex) {
        return;
    }
    std::string talkgroup = fields.at(6);
    replace_all(talkgroup, "\r", "");
    replace_all(talkgroup, "STS", "");
    // Scanners of this family answer with the names once per reception and
    // then with empty fields; those must not wipe the names of a take, nor
    // the number that came with them.
    const bool no_names = fields.at(4).empty() && fields.at(5).empty() && talkgroup.empty();
    if (no_names && state_.take_in_progress()) {
        return;
    }
    state_.gid_system_name = fields.at(4);
    state_.gid_group_name = fields.at(5);
    state_.gid_tg_name = talkgroup;
    state_.gid_tg_id = talkgroup_number(fields.at(2));
}

}  // namespace taperly
