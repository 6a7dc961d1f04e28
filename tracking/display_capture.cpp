#include "tracking/display_capture.h"

#include <vector>

#include "tracking/text_ops.h"

namespace taperly {

namespace {

bool ends_in_hold(const std::string& trimmed) {
    return trimmed.size() >= 4 && trimmed.compare(trimmed.size() - 4, 4, "Hold") == 0;
}

void capture_line1(TakeState& state, const std::string& line1) {
    if (state.gotSystem1 == "1") {
        if (state.GotSystem2 == "1") {
            return;
        }
        if (state.scan_system1 != line1 && !ends_in_hold(line1)) {
            state.scan_system2 = line1;
            state.GotSystem2 = "1";
        }
    } else if (!ends_in_hold(line1)) {
        state.scan_system1 = line1;
        state.gotSystem1 = "1";
    }
}

void capture_line2(TakeState& state, const std::string& field3, const std::string& line2) {
    if (state.GotGroup1 == "1") {
        if (state.GotGroup2 == "1") {
            return;
        }
        if (state.scan_group1 != line2) {
            // The third word of the untrimmed line; a line with fewer words
            // gives none, and a later line may still give one.
            const std::vector<std::string> words = split_at(field3, ' ');
            if (words.size() > 2) {
                state.scan_group2 = trim_spaces(words[2]);
                state.GotGroup2 = "1";
            }
        }
    } else if (field3 != " Press Any Key  " && line2 != "SCAN") {
        state.scan_group1 = line2;
        state.GotGroup1 = "1";
    }
}

}  // namespace

void capture_display_lines(TakeState& state, const ReplyFields& fields) {
    capture_line1(state, trim_spaces(fields.at(1)));
    const std::string& field3 = fields.at(3);
    capture_line2(state, field3, trim_spaces(field3));
}

}  // namespace taperly
