#pragma once

#include <cstdint>
#include <string>

namespace taperly {

// What a take says of itself inside its file, for archives and players that
// read a file's own tags rather than its name. UTF-8; empty where not known.
struct TakeTags {
    // The talkgroup, or the display's first line where there is none.
    std::string title;
    // The scanner's texts, each labelled.
    std::string comment;
    // The start in ISO 8601 with its UTC offset.
    std::string created;
    std::string software;
    // The start's date ("2026-12-05") and time of day ("21:05:07").
    std::string origination_date;
    std::string origination_time;
    // The start, in samples since midnight.
    std::uint64_t time_reference = 0;

    bool operator==(const TakeTags&) const = default;
};

}  // namespace taperly
