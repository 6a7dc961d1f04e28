#include "uploads/queued_take.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "recorder/takes/take_format.h"
#include "tracking/take_log_codec.h"

namespace taperly {

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::optional<std::int64_t> whole(const std::string& text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// The civil date of a count of days since 1970-01-01.
void civil_from_days(std::int64_t days, int& year, int& month, int& day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto day_of_era = static_cast<unsigned>(days - era * 146097);
    const unsigned year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const unsigned day_of_year =
        day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const unsigned shifted_month = (5 * day_of_year + 2) / 153;
    day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
    month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
    year = static_cast<int>(year_of_era + era * 400 + (month <= 2 ? 1 : 0));
}

}  // namespace

double QueuedTake::seconds() const {
    return static_cast<double>(frames) / kTakeSampleRate;
}

std::string QueuedTake::text() const {
    const std::string name = trimmed(talkgroup);
    return name.empty() ? trimmed(display_line1) : name;
}

std::optional<QueuedTake> queued_take(const TakeLogEntry& entry, int local_offset_seconds) {
    if (!entry.start) {
        return std::nullopt;
    }
    const int offset =
        entry.offsets_known ? entry.start->wall.utc_offset_seconds : local_offset_seconds;
    const std::optional<long long> start =
        seconds_since_epoch(iso_8601(*entry.start).substr(0, 19), offset);
    if (!start) {
        return std::nullopt;
    }
    QueuedTake take;
    take.file_name = entry.file_name;
    take.start_ms = *start * 1000;
    take.utc_offset_seconds = offset;
    take.frames = entry.frames;
    take.end_ms = take.start_ms + entry.frames * 1000 / kTakeSampleRate;
    if (entry.end) {
        if (const auto end = seconds_since_epoch(
                iso_8601(*entry.end).substr(0, 19),
                entry.offsets_known ? entry.end->wall.utc_offset_seconds : local_offset_seconds)) {
            take.end_ms = std::max<std::int64_t>(take.start_ms, *end * 1000);
        }
    }
    take.system = entry.system;
    take.group = entry.group;
    take.talkgroup = entry.talkgroup;
    take.talkgroup_id = entry.talkgroup_id;
    take.display_line1 = entry.display_line1;
    take.display_line2 = entry.display_line2;
    return take;
}

std::string number_for(const TargetSettings& target,
                       const std::map<std::string, std::string>& talkgroups,
                       const QueuedTake& take) {
    const std::string text = take.text();
    if (const auto slot = target.slot_ids.find(text); slot != target.slot_ids.end()) {
        return slot->second;
    }
    if (!take.talkgroup_id.empty()) {
        return take.talkgroup_id;
    }
    const auto mapped = talkgroups.find(text);
    return mapped == talkgroups.end() ? std::string() : mapped->second;
}

std::string rfc3339(std::int64_t unix_ms, int utc_offset_seconds) {
    const std::int64_t local = unix_ms / 1000 + utc_offset_seconds;
    const std::int64_t days = (local >= 0 ? local : local - 86399) / 86400;
    const std::int64_t second_of_day = local - days * 86400;
    int year = 0, month = 0, day = 0;
    civil_from_days(days, year, month, day);
    const int offset_minutes = std::abs(utc_offset_seconds) / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", year, month, day,
                  static_cast<int>(second_of_day / 3600), static_cast<int>(second_of_day / 60 % 60),
                  static_cast<int>(second_of_day % 60), utc_offset_seconds < 0 ? '-' : '+',
                  offset_minutes / 60, offset_minutes % 60);
    return text;
}

std::vector<std::string> take_fields(const QueuedTake& take) {
    return {take.file_name,
            std::to_string(take.start_ms),
            std::to_string(take.end_ms),
            std::to_string(take.utc_offset_seconds),
            std::to_string(take.frames),
            take.system,
            take.group,
            take.talkgroup,
            take.talkgroup_id,
            take.display_line1,
            take.display_line2};
}

std::optional<QueuedTake> take_from_fields(const std::vector<std::string>& fields,
                                           std::size_t first) {
    if (fields.size() < first + 11) {
        return std::nullopt;
    }
    const auto start = whole(fields[first + 1]);
    const auto end = whole(fields[first + 2]);
    const auto offset = whole(fields[first + 3]);
    const auto frames = whole(fields[first + 4]);
    if (!start || !end || !offset || !frames) {
        return std::nullopt;
    }
    QueuedTake take;
    take.file_name = fields[first];
    take.start_ms = *start;
    take.end_ms = *end;
    take.utc_offset_seconds = static_cast<int>(*offset);
    take.frames = *frames;
    take.system = fields[first + 5];
    take.group = fields[first + 6];
    take.talkgroup = fields[first + 7];
    take.talkgroup_id = fields[first + 8];
    take.display_line1 = fields[first + 9];
    take.display_line2 = fields[first + 10];
    return take;
}

}  // namespace taperly
