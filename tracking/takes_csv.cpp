#include "tracking/takes_csv.h"

#include <array>
#include <cstdio>

namespace taperly {

namespace {

// One row's fields from `at` on, which is left at the next row.
std::vector<std::string> next_row(const std::string& csv, std::size_t& at) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (; at < csv.size(); ++at) {
        const char c = csv[at];
        if (quoted) {
            if (c != '"') {
                fields.back() += c;
            } else if (at + 1 < csv.size() && csv[at + 1] == '"') {
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
            ++at;
            break;
        } else if (c != '\r') {
            fields.back() += c;
        }
    }
    return fields;
}

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

std::optional<std::vector<LoggedTake>> read_takes_csv(const std::string& csv) {
    std::size_t at = 0;
    const std::vector<std::string> header = next_row(csv, at);
    constexpr std::array<const char*, 4> kNames = {"start", "end", "file", "outcome"};
    std::array<std::size_t, 4> column{};
    for (std::size_t name = 0; name < kNames.size(); ++name) {
        std::size_t found = 0;
        while (found < header.size() && header[found] != kNames[name]) {
            ++found;
        }
        if (found == header.size()) {
            return std::nullopt;
        }
        column[name] = found;
    }
    std::vector<LoggedTake> takes;
    while (at < csv.size()) {
        std::vector<std::string> fields = next_row(csv, at);
        fields.resize(std::max(fields.size(), header.size()));
        takes.push_back({std::move(fields[column[0]]), std::move(fields[column[1]]),
                         std::move(fields[column[2]]), std::move(fields[column[3]])});
    }
    return takes;
}

std::optional<long long> seconds_since_epoch(const std::string& iso, int local_offset_seconds) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int consumed = 0;
    if (std::sscanf(iso.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &year, &month, &day, &hour, &minute,
                    &second, &consumed) != 6 ||
        consumed != 19 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
        minute > 59 || second > 60) {
        return std::nullopt;
    }
    long long offset = local_offset_seconds;
    if (iso.size() > 19) {
        int offset_hours = 0, offset_minutes = 0;
        char sign = 0;
        int rest = 0;
        if (iso.size() != 25 ||
            std::sscanf(iso.c_str() + 19, "%c%2d:%2d%n", &sign, &offset_hours, &offset_minutes,
                        &rest) != 3 ||
            rest != 6 || (sign != '+' && sign != '-')) {
            return std::nullopt;
        }
        offset = (sign == '-' ? -1 : 1) * (offset_hours * 3600LL + offset_minutes * 60LL);
    }
    return days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
           hour * 3600LL + minute * 60LL + second - offset;
}

}  // namespace taperly
