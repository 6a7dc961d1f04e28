#include "uploads/takes_log_tail.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <map>
#include <vector>

#include "recorder/takes/take_format.h"
#include "settings/utf8_path.h"

namespace taperly {

namespace {

// The fields of the row at `text`'s start, when the row is whole; `used`
// gets its length with its line end.
std::optional<std::vector<std::string>> whole_row(std::string_view text, std::size_t& used) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (quoted) {
            if (c != '"') {
                fields.back() += c;
            } else if (at + 1 < text.size() && text[at + 1] == '"') {
                fields.back() += '"';
                ++at;
            } else {
                quoted = false;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c == '\n') {
            used = at + 1;
            return fields;
        } else if (c != '\r') {
            fields.back() += c;
        }
    }
    return std::nullopt;
}

std::optional<LocalTime> local_time(const std::string& iso, bool& offset_known) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (iso.size() < 19 || std::sscanf(iso.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &year, &month, &day,
                                       &hour, &minute, &second) != 6) {
        return std::nullopt;
    }
    LocalTime time;
    time.date = {year, month, day};
    time.wall = {hour, minute, second, 0};
    offset_known = iso.size() == 25;
    if (offset_known) {
        const int hours = std::atoi(iso.substr(20, 2).c_str());
        const int minutes = std::atoi(iso.substr(23, 2).c_str());
        time.wall.utc_offset_seconds = (iso[19] == '-' ? -1 : 1) * (hours * 3600 + minutes * 60);
    }
    return time;
}

std::optional<TakeOutcome> outcome_of(const std::string& word) {
    const std::pair<const char*, TakeOutcome> words[] = {
        {"saved", TakeOutcome::kSaved},          {"split", TakeOutcome::kSplit},
        {"recovered", TakeOutcome::kRecovered},  {"removed", TakeOutcome::kRemoved},
        {"name taken", TakeOutcome::kNameTaken}, {"not saved", TakeOutcome::kNotSaved}};
    for (const auto& [text, outcome] : words) {
        if (word.rfind(text, 0) == 0) {
            return outcome;
        }
    }
    return std::nullopt;
}

TakeLogEntry entry_of(const std::vector<std::string>& fields,
                      const std::map<std::string, std::size_t>& columns) {
    const auto field = [&](const char* name) -> std::string {
        const auto column = columns.find(name);
        return column != columns.end() && column->second < fields.size() ? fields[column->second]
                                                                         : std::string();
    };
    TakeLogEntry entry;
    bool known = true;
    entry.start = local_time(field("start"), known);
    entry.offsets_known = known;
    entry.end = local_time(field("end"), known);
    double seconds = 0;
    const std::string length = field("seconds");
    std::from_chars(length.data(), length.data() + length.size(), seconds);
    entry.frames = std::llround(seconds * kTakeSampleRate);
    entry.file_name = field("file");
    entry.outcome = outcome_of(field("outcome")).value_or(TakeOutcome::kNotSaved);
    entry.system = field("system");
    entry.group = field("group");
    entry.talkgroup = field("talkgroup");
    entry.talkgroup_id = field("talkgroup_id");
    entry.display_line1 = field("display line 1");
    entry.display_line2 = field("display line 2");
    return entry;
}

}  // namespace

std::int64_t read_takes_log_from(const std::string& path, std::int64_t from,
                                 const std::function<void(const TakeLogEntry&)>& row) {
    std::ifstream file(utf8_path(path), std::ios::binary);
    char block[1 << 16];
    std::string pending;
    std::size_t used = 0;
    std::optional<std::vector<std::string>> header;
    while (!header && file.read(block, sizeof block).gcount() > 0) {
        pending.append(block, static_cast<std::size_t>(file.gcount()));
        header = whole_row(pending, used);
    }
    if (!header) {
        return from;
    }
    std::map<std::string, std::size_t> columns;
    for (std::size_t i = 0; i < header->size(); ++i) {
        std::string name = (*header)[i];
        if (i == 0 && name.rfind("\xEF\xBB\xBF", 0) == 0) {
            name.erase(0, 3);
        }
        columns.emplace(name, i);
    }
    std::int64_t at = std::max<std::int64_t>(from, static_cast<std::int64_t>(used));
    // A row that was being written where `from` was taken is passed over:
    // the door told of it.
    if (at > static_cast<std::int64_t>(used)) {
        char before = '\n';
        file.clear();
        file.seekg(at - 1);
        file.read(&before, 1);
        while (before != '\n' && file.read(&before, 1)) {
            ++at;
        }
    }
    file.clear();
    file.seekg(at);
    pending.clear();
    while (file.read(block, sizeof block).gcount() > 0) {
        pending.append(block, static_cast<std::size_t>(file.gcount()));
        std::size_t start = 0;
        while (const auto fields = whole_row(std::string_view(pending).substr(start), used)) {
            row(entry_of(*fields, columns));
            start += used;
        }
        at += static_cast<std::int64_t>(start);
        pending.erase(0, start);
    }
    return at;
}

}  // namespace taperly
