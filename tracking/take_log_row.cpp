#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "recorder/takes/take_format.h"
#include "recorder/takes/unfinished_takes.h"
#include "tracking/take_log.h"

namespace taperly {

namespace {

constexpr const char* kLineEnd = "\r\n";

// Quoted only where a reader would otherwise split or join the field; a
// quote inside is doubled.
std::string field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

std::string iso_time(const std::optional<LocalTime>& time, bool offset_known) {
    if (!time) {
        return {};
    }
    const std::string text = iso_8601(*time);
    return offset_known ? text : text.substr(0, 19);
}

std::string seconds(std::int64_t frames) {
    const std::int64_t milliseconds = frames * 1000 / kTakeSampleRate;
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(milliseconds / 1000),
                  static_cast<long long>(milliseconds % 1000));
    return text;
}

std::string outcome(const TakeLogEntry& entry) {
    switch (entry.outcome) {
        case TakeOutcome::kSaved:
            return entry.reason.empty() ? "saved" : "saved (" + entry.reason + ")";
        case TakeOutcome::kNameTaken:
            return "name taken";
        case TakeOutcome::kNotSaved:
            return "not saved: " + entry.reason;
        case TakeOutcome::kRecovered:
            return "recovered";
        case TakeOutcome::kSplit:
            return entry.reason.empty() ? "split" : "split (" + entry.reason + ")";
        case TakeOutcome::kRemoved:
            return "removed";
    }
    return {};
}

// Silence has no level: an empty field reads as no number in a
// spreadsheet, where "-inf" would be text in a column of numbers.
std::string dbfs(const std::optional<int>& peak) {
    if (!peak || *peak <= 0) {
        return {};
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", 20.0 * std::log10(*peak / 32768.0));
    return text;
}

}  // namespace

std::string iso_8601(const LocalTime& time) {
    const WallTime& wall = time.wall;
    const int offset_minutes = std::abs(wall.utc_offset_seconds) / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", time.date.year,
                  time.date.month, time.date.day, wall.hour, wall.minute, wall.second,
                  wall.utc_offset_seconds < 0 ? '-' : '+', offset_minutes / 60,
                  offset_minutes % 60);
    return text;
}

std::string take_log_header() {
    return std::string(
               "start,end,seconds,file,outcome,system,group,talkgroup,display line 1,"
               "display line 2,peak dBFS") +
           kLineEnd;
}

std::string take_log_row(const TakeLogEntry& entry) {
    const std::string fields[] = {iso_time(entry.start, entry.offsets_known),
                                  iso_time(entry.end, entry.offsets_known),
                                  seconds(entry.frames),
                                  field(entry.file_name),
                                  field(outcome(entry)),
                                  field(entry.system),
                                  field(entry.group),
                                  field(entry.talkgroup),
                                  field(entry.display_line1),
                                  field(entry.display_line2),
                                  dbfs(entry.peak)};
    std::string row;
    for (const std::string& text : fields) {
        if (&text != &fields[0]) {
            row += ',';
        }
        row += text;
    }
    return row + kLineEnd;
}

std::vector<std::string> recover_and_log_unfinished_takes(const std::string& folder, TakeLog* log) {
    std::vector<std::string> names;
    for (const RecoveredTake& take : recover_unfinished_takes_told(folder)) {
        if (log != nullptr) {
            log->add(recovered_take_entry(take.name, take.started, take.frames));
        }
        names.push_back(take.name);
    }
    return names;
}

}  // namespace taperly
