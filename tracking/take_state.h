#pragma once

#include <string>

namespace taperly {

// What is remembered about the transmission being recorded. Every field is
// text and compared as text; the names are the ones the program has always
// used for them.
struct TakeState {
    std::string scan_system1 = "-";
    std::string scan_system2 = "-";
    std::string scan_group1 = "-";
    std::string scan_group2 = "-";
    std::string gotSystem1 = "0";
    std::string GotSystem2 = "0";
    std::string GotGroup1 = "0";
    std::string GotGroup2 = "0";
    std::string gid_system_name;
    std::string gid_group_name;
    std::string gid_tg_name;
    std::string gid_tg_id;
    // The take's start time, "-" while no take has started.
    std::string Label7 = "-";
    // "INCC" once the Press Any Key prompt has been answered.
    std::string Label1 = "-";
    // Display lines of an earlier take; kept for files that name them, never written.
    std::string old_scan_system1 = "-";
    std::string old_scan_system2 = "-";

    bool take_in_progress() const { return Label7 != "-"; }

    // Back to the initial values, field by field in the order above.
    void clear();

    bool operator==(const TakeState&) const = default;
};

}  // namespace taperly
