#include "tracking/take_tags.h"

#include <cstdio>
#include <utility>

#include "recorder/takes/take_format.h"

namespace taperly {

namespace {

// Each text the scanner gave, named, in one line a search finds.
std::string labelled_texts(const TakeLogEntry& entry) {
    const std::pair<const char*, const std::string*> texts[] = {
        {"System", &entry.system},
        {"Group", &entry.group},
        {"Talkgroup", &entry.talkgroup},
        {"Talkgroup ID", &entry.talkgroup_id},
        {"Display line 1", &entry.display_line1},
        {"Display line 2", &entry.display_line2},
    };
    std::string comment;
    for (const auto& [label, text] : texts) {
        if (!text->empty()) {
            comment += (comment.empty() ? "" : "; ") + std::string(label) + ": " + *text;
        }
    }
    return comment;
}

}  // namespace

TakeTags take_tags(const TakeLogEntry& entry) {
    TakeTags tags;
    tags.title = entry.talkgroup.empty() ? entry.display_line1 : entry.talkgroup;
    tags.comment = labelled_texts(entry);
    tags.software = std::string("Taperly ") + TAPERLY_VERSION;
    if (entry.start) {
        const LocalTime& start = *entry.start;
        tags.created = iso_8601(start);
        tags.origination_date = tags.created.substr(0, 10);
        tags.origination_time = tags.created.substr(11, 8);
        const int second_of_day =
            start.wall.hour * 3600 + start.wall.minute * 60 + start.wall.second;
        tags.time_reference = static_cast<std::uint64_t>(second_of_day) * kTakeSampleRate;
    }
    return tags;
}

}  // namespace taperly
