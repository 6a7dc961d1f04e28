#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace taperly {

// The scanner's texts of a take, UTF-8; empty where none was seen.
struct TakeTexts {
    std::string system;
    std::string group;
    std::string talkgroup;
    std::string display_line1;
    std::string display_line2;

    // What the Takes window lists a take by: its talkgroup, or the display's
    // first line where a conventional channel gave none.
    const std::string& label() const { return talkgroup.empty() ? display_line1 : talkgroup; }
    bool operator==(const TakeTexts&) const = default;
};

// Where the index learnt of a take.
enum class TakeSource { kLog, kTags, kName };

// What is known of one take, from its row in the log, from its file's tags or
// from its name.
struct TakeFacts {
    std::string file_name;
    // Seconds since 1970-01-01 UTC of its start; none where nothing tells it.
    std::optional<std::int64_t> start;
    // East of UTC, as the start was recorded; none where it was not told (a
    // recovered take's row, a name), and the start was then read as the
    // desktop's local time.
    std::optional<int> utc_offset;
    std::int64_t milliseconds = 0;
    TakeTexts texts;
    // The peak in tenths of a dB below full scale; none for silence or where
    // not known.
    std::optional<int> peak_decibel_tenths;
    TakeSource source = TakeSource::kLog;

    bool operator==(const TakeFacts&) const = default;
};

// One take as the index lists it.
struct ArchivedTake {
    // Orders takes by their start: newer takes have larger numbers.
    std::int64_t id = 0;
    TakeFacts facts;
    // The file is in the takes folder (as last looked); a take whose file is
    // gone is listed as missing and never played.
    bool present = true;
    bool starred = false;
};

}  // namespace taperly
