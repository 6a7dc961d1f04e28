#include "archive/log_stream.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "recorder/takes/take_format.h"
#include "settings/utf8_path.h"

namespace taperly {

namespace {

enum Column {
    kStart,
    kEnd,
    kSeconds,
    kFile,
    kOutcome,
    kSystem,
    kGroup,
    kTalkgroup,
    kLine1,
    kLine2,
    kPeak,
    kColumnCount
};
constexpr std::array<const char*, kColumnCount> kNames = {
    "start", "end",       "seconds",        "file",           "outcome",  "system",
    "group", "talkgroup", "display line 1", "display line 2", "peak dBFS"};

bool begins_with(const std::string& text, const std::string& start) {
    return text.rfind(start, 0) == 0;
}

// "saved (why)": the word, and what the brackets hold.
std::optional<std::string> bracketed(const std::string& text, const std::string& word) {
    if (text == word) {
        return std::string();
    }
    if (begins_with(text, word + " (") && text.back() == ')') {
        return text.substr(word.size() + 2, text.size() - word.size() - 3);
    }
    return std::nullopt;
}

std::optional<TakeOutcome> outcome_of(const std::string& text, std::string& reason) {
    if (auto why = bracketed(text, "saved")) {
        reason = *why;
        return TakeOutcome::kSaved;
    }
    if (auto why = bracketed(text, "split")) {
        reason = *why;
        return TakeOutcome::kSplit;
    }
    if (begins_with(text, "not saved")) {
        reason = text.size() > 11 ? text.substr(11) : std::string();
        return TakeOutcome::kNotSaved;
    }
    if (text == "name taken") {
        return TakeOutcome::kNameTaken;
    }
    if (text == "recovered") {
        return TakeOutcome::kRecovered;
    }
    if (text == "removed") {
        return TakeOutcome::kRemoved;
    }
    return std::nullopt;
}

// "2026-12-05T21:05:07-05:00", or without its offset.
std::optional<LocalTime> time_of(const std::string& text, bool& offset_known) {
    LocalTime time;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &time.date.year, &time.date.month,
                    &time.date.day, &time.wall.hour, &time.wall.minute, &time.wall.second,
                    &consumed) != 6 ||
        consumed != 19) {
        return std::nullopt;
    }
    offset_known = text.size() == 25;
    if (offset_known) {
        int hours = 0, minutes = 0;
        if (std::sscanf(text.c_str() + 20, "%2d:%2d", &hours, &minutes) != 2) {
            return std::nullopt;
        }
        time.wall.utc_offset_seconds = (text[19] == '-' ? -1 : 1) * (hours * 3600 + minutes * 60);
    }
    return time;
}

// A number as the log writes it, whatever the locale's decimal sign.
std::optional<double> number_of(const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

LogStream::LogStream(const std::string& path, std::int64_t from)
    : file_(utf8_path(path), std::ios::binary), columns_(kColumnCount, -1) {
    if (!file_) {
        return;
    }
    file_.seekg(0, std::ios::end);
    size_ = file_.tellg();
    file_.seekg(0);
    rows_.emplace(file_);
    std::vector<std::string> header;
    if (!rows_->next(header)) {
        return;
    }
    if (!header.empty() && begins_with(header[0], "\xEF\xBB\xBF")) {
        header[0].erase(0, 3);
    }
    for (std::size_t field = 0; field < header.size(); ++field) {
        for (int column = 0; column < kColumnCount; ++column) {
            if (header[field] == kNames[column]) {
                columns_[column] = static_cast<int>(field);
            }
        }
    }
    is_log_ = columns_[kFile] >= 0 && columns_[kOutcome] >= 0;
    if (is_log_ && from > rows_->consumed() && from <= size_) {
        file_.seekg(from);
        rows_.emplace(file_);
        start_ = from;
    } else {
        start_ = 0;
    }
}

std::optional<TakeLogEntry> LogStream::next() {
    if (!is_log_) {
        return std::nullopt;
    }
    while (rows_->next(fields_)) {
        const auto field = [this](Column column) -> const std::string& {
            static const std::string kNone;
            const int at = columns_[column];
            return at >= 0 && at < static_cast<int>(fields_.size()) ? fields_[at] : kNone;
        };
        TakeLogEntry entry;
        const std::optional<TakeOutcome> outcome = outcome_of(field(kOutcome), entry.reason);
        if (!outcome || field(kFile).empty()) {
            continue;
        }
        entry.outcome = *outcome;
        entry.file_name = field(kFile);
        bool start_offset = false;
        bool end_offset = false;
        entry.start = time_of(field(kStart), start_offset);
        entry.end = time_of(field(kEnd), end_offset);
        entry.offsets_known = entry.start ? start_offset : end_offset;
        entry.frames = std::llround(number_of(field(kSeconds)).value_or(0) * kTakeSampleRate);
        entry.system = field(kSystem);
        entry.group = field(kGroup);
        entry.talkgroup = field(kTalkgroup);
        entry.display_line1 = field(kLine1);
        entry.display_line2 = field(kLine2);
        if (const std::optional<double> dbfs = number_of(field(kPeak))) {
            entry.peak = static_cast<int>(std::lround(32768.0 * std::pow(10.0, *dbfs / 20.0)));
        }
        return entry;
    }
    return std::nullopt;
}

}  // namespace taperly
