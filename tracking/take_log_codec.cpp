#include "tracking/take_log_codec.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "recorder/takes/take_format.h"

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

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// The number the digits at `text[at]` on make, exactly `count` of them.
std::optional<int> digits(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) {
        return std::nullopt;
    }
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!is_digit(text[i])) {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// "2026-12-05T21:05:07-05:00", or without its offset; `offset_known` says which.
std::optional<LocalTime> read_iso(std::string_view text, bool& offset_known) {
    const auto year = digits(text, 0, 4);
    const auto month = digits(text, 5, 2);
    const auto day = digits(text, 8, 2);
    const auto hour = digits(text, 11, 2);
    const auto minute = digits(text, 14, 2);
    const auto second = digits(text, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second || text[4] != '-' ||
        text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':' || *month < 1 ||
        *month > 12 || *day < 1 || *day > 31 || *hour > 23 || *minute > 59 || *second > 60) {
        return std::nullopt;
    }
    LocalTime time{"", {*year, *month, *day}, {*hour, *minute, *second, 0}};
    offset_known = text.size() > 19;
    if (!offset_known) {
        return time;
    }
    const auto offset_hours = digits(text, 20, 2);
    const auto offset_minutes = digits(text, 23, 2);
    if (text.size() != 25 || (text[19] != '+' && text[19] != '-') || text[22] != ':' ||
        !offset_hours || !offset_minutes) {
        return std::nullopt;
    }
    time.wall.utc_offset_seconds =
        (text[19] == '-' ? -1 : 1) * (*offset_hours * 3600 + *offset_minutes * 60);
    return time;
}

std::string iso_time(const std::optional<LocalTime>& time, bool offset_known) {
    if (!time) {
        return {};
    }
    const std::string text = iso_8601(*time);
    return offset_known ? text : text.substr(0, 19);
}

// An empty time is one not known; one that is not as Taperly writes it
// cannot be trusted either.
bool read_time(const std::string& text, std::optional<LocalTime>& time, TakeLogEntry& entry) {
    bool offset_known = true;
    time = read_iso(text, offset_known);
    if (time && !offset_known) {
        entry.offsets_known = false;
    }
    return true;
}

std::optional<long long> whole_number(const std::string& text) {
    if (text.empty() || text.size() > 18) {
        return std::nullopt;
    }
    long long value = 0;
    for (char c : text) {
        if (!is_digit(c)) {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string seconds_text(const TakeLogEntry& entry) {
    const std::int64_t milliseconds = entry.frames * 1000 / kTakeSampleRate;
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(milliseconds / 1000),
                  static_cast<long long>(milliseconds % 1000));
    return text;
}

// The fewest frames that are written as these milliseconds again.
bool read_seconds(const std::string& text, TakeLogEntry& entry) {
    const std::size_t point = text.find('.');
    const auto whole = whole_number(text.substr(0, point));
    const auto thousandths = point == std::string::npos ? std::optional<long long>(0)
                                                        : whole_number(text.substr(point + 1));
    if (whole && thousandths && (point == std::string::npos || text.size() - point == 4)) {
        const long long milliseconds = *whole * 1000 + *thousandths;
        entry.frames = (milliseconds * kTakeSampleRate + 999) / 1000;
    }
    return true;
}

// Silence has no level: an empty field reads as no number in a
// spreadsheet, where "-inf" would be text in a column of numbers.
std::string dbfs(const TakeLogEntry& entry) {
    if (!entry.peak || *entry.peak <= 0) {
        return {};
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", 20.0 * std::log10(*entry.peak / 32768.0));
    return text;
}

bool read_dbfs(const std::string& text, TakeLogEntry& entry) {
    char* end = nullptr;
    const double level = std::strtod(text.c_str(), &end);
    if (!text.empty() && *end == '\0' && level <= 0 && level > -200) {
        entry.peak = static_cast<int>(std::lround(32768.0 * std::pow(10.0, level / 20.0)));
    }
    return true;
}

bool is_fingerprint(const std::string& text) {
    if (text.size() != 16) {
        return false;
    }
    for (char c : text) {
        if (!is_digit(c) && (c < 'a' || c > 'f')) {
            return false;
        }
    }
    return true;
}

const std::array<TakeLogColumn, 14> kColumns{{
    {"start", [](const TakeLogEntry& e) { return iso_time(e.start, e.offsets_known); },
     [](const std::string& t, TakeLogEntry& e) { return read_time(t, e.start, e); }},
    {"end", [](const TakeLogEntry& e) { return iso_time(e.end, e.offsets_known); },
     [](const std::string& t, TakeLogEntry& e) { return read_time(t, e.end, e); }},
    {"seconds", seconds_text, read_seconds},
    {"file", [](const TakeLogEntry& e) { return e.file_name; },
     [](const std::string& t, TakeLogEntry& e) {
         e.file_name = t;
         return true;
     }},
    {"outcome", [](const TakeLogEntry& e) { return outcome_text(e.outcome, e.reason); },
     [](const std::string& t, TakeLogEntry& e) {
         const std::optional<TakeOutcome> outcome = read_outcome(t, e.reason);
         e.outcome = outcome.value_or(TakeOutcome::kSaved);
         return outcome.has_value();
     }},
    {"system", [](const TakeLogEntry& e) { return e.system; },
     [](const std::string& t, TakeLogEntry& e) {
         e.system = t;
         return true;
     }},
    {"group", [](const TakeLogEntry& e) { return e.group; },
     [](const std::string& t, TakeLogEntry& e) {
         e.group = t;
         return true;
     }},
    {"talkgroup", [](const TakeLogEntry& e) { return e.talkgroup; },
     [](const std::string& t, TakeLogEntry& e) {
         e.talkgroup = t;
         return true;
     }},
    {"display line 1", [](const TakeLogEntry& e) { return e.display_line1; },
     [](const std::string& t, TakeLogEntry& e) {
         e.display_line1 = t;
         return true;
     }},
    {"display line 2", [](const TakeLogEntry& e) { return e.display_line2; },
     [](const std::string& t, TakeLogEntry& e) {
         e.display_line2 = t;
         return true;
     }},
    {"peak dBFS", dbfs, read_dbfs},
    {"bytes",
     [](const TakeLogEntry& e) { return e.file_bytes ? std::to_string(*e.file_bytes) : ""; },
     [](const std::string& t, TakeLogEntry& e) {
         e.file_bytes = whole_number(t);
         return true;
     }},
    {"fingerprint", [](const TakeLogEntry& e) { return e.fingerprint; },
     [](const std::string& t, TakeLogEntry& e) {
         e.fingerprint = is_fingerprint(t) ? t : std::string();
         return true;
     }},
    // The number the call services want; the scanner's digits only.
    {"talkgroup_id", [](const TakeLogEntry& e) { return e.talkgroup_id; },
     [](const std::string& t, TakeLogEntry& e) {
         e.talkgroup_id = whole_number(t) ? t : std::string();
         return true;
     }},
}};

// What each outcome is. A FLAC take saved as WAV says why after its word,
// as does a part of a long call; a take not saved, or one kept past its
// days, says why after a colon.
const std::array<TakeOutcomeWord, 7> kOutcomes{{
    {TakeOutcome::kSaved, "saved", " (", ")", true, false},
    {TakeOutcome::kSplit, "split", " (", ")", true, false},
    {TakeOutcome::kRecovered, "recovered", nullptr, nullptr, true, false},
    {TakeOutcome::kNameTaken, "name taken", nullptr, nullptr, false, true},
    {TakeOutcome::kNotSaved, "not saved", ": ", "", false, true},
    {TakeOutcome::kRemoved, "removed", nullptr, nullptr, false, false},
    {TakeOutcome::kKept, "kept", ": ", "", false, false},
}};

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
long long days_from_civil(long long year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const auto year_of_era = static_cast<unsigned>(year - era * 400);
    const unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned day_of_era =
        year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + static_cast<long long>(day_of_era) - 719468;
}

}  // namespace

std::span<const TakeLogColumn> take_log_columns() {
    return kColumns;
}

const TakeOutcomeWord& outcome_word(TakeOutcome outcome) {
    for (const TakeOutcomeWord& word : kOutcomes) {
        if (word.outcome == outcome) {
            return word;
        }
    }
    return kOutcomes.front();
}

std::string outcome_text(TakeOutcome outcome, const std::string& reason) {
    const TakeOutcomeWord& word = outcome_word(outcome);
    if (word.reason_before == nullptr || reason.empty()) {
        return word.word;
    }
    return word.word + (word.reason_before + reason + word.reason_after);
}

std::optional<TakeOutcome> read_outcome(const std::string& text, std::string& reason) {
    reason.clear();
    for (const TakeOutcomeWord& word : kOutcomes) {
        const std::string_view bare(word.word);
        if (text == bare) {
            return word.outcome;
        }
        if (word.reason_before == nullptr || !text.starts_with(bare)) {
            continue;
        }
        const std::string_view rest = std::string_view(text).substr(bare.size());
        const std::string_view before(word.reason_before);
        const std::string_view after(word.reason_after);
        if (rest.size() >= before.size() + after.size() && rest.starts_with(before) &&
            rest.ends_with(after)) {
            reason = rest.substr(before.size(), rest.size() - before.size() - after.size());
            return word.outcome;
        }
    }
    return std::nullopt;
}

std::string take_log_header() {
    std::string header;
    for (const TakeLogColumn& column : kColumns) {
        header += (header.empty() ? "" : ",") + field(column.name);
    }
    return header + kLineEnd;
}

std::string take_log_row(const TakeLogEntry& entry) {
    std::string row;
    for (const TakeLogColumn& column : kColumns) {
        if (&column != &kColumns.front()) {
            row += ',';
        }
        row += field(column.write(entry));
    }
    return row + kLineEnd;
}

std::optional<TakeLogEntry> read_take_log_row(const std::vector<std::string>& fields) {
    return read_take_log_row(fields, ~TakeLogColumnSet{0});
}

TakeLogColumnSet take_log_column_set(std::initializer_list<std::string_view> names) {
    TakeLogColumnSet set = 0;
    for (std::size_t at = 0; at < kColumns.size(); ++at) {
        for (std::string_view name : names) {
            set |= name == kColumns[at].name ? TakeLogColumnSet{1} << at : 0;
        }
    }
    return set;
}

std::optional<TakeLogEntry> read_take_log_row(const std::vector<std::string>& fields,
                                              TakeLogColumnSet only) {
    static_assert(kColumns.size() <= 32, "a column set holds 32 columns");
    only |= take_log_column_set({"outcome"});
    TakeLogEntry entry;
    static const std::string kMissing;
    for (std::size_t at = 0; at < kColumns.size(); ++at) {
        if ((only & (TakeLogColumnSet{1} << at)) != 0 &&
            !kColumns[at].read(at < fields.size() ? fields[at] : kMissing, entry)) {
            return std::nullopt;
        }
    }
    return entry;
}

std::optional<long long> seconds_since_epoch(std::string_view iso, int local_offset_seconds) {
    bool offset_known = true;
    const std::optional<LocalTime> time = read_iso(iso, offset_known);
    if (!time) {
        return std::nullopt;
    }
    return seconds_since_epoch(*time, offset_known, local_offset_seconds);
}

long long seconds_since_epoch(const LocalTime& time, bool offset_known, int local_offset_seconds) {
    const long long offset = offset_known ? time.wall.utc_offset_seconds : local_offset_seconds;
    return days_from_civil(time.date.year, static_cast<unsigned>(time.date.month),
                           static_cast<unsigned>(time.date.day)) *
               86400 +
           time.wall.hour * 3600LL + time.wall.minute * 60LL + time.wall.second - offset;
}

}  // namespace taperly
