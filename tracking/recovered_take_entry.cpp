#include <cctype>
#include <cstdio>

#include "tracking/take_log.h"

namespace taperly {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// "9-05-07-PM", "21-05-07": the numbers in order, and the day half's letter.
// Any other letter (a day half in another script, a word) leaves it unread:
// no time at all is better than one twelve hours out.
std::optional<WallTime> read_time_piece(const std::string& piece) {
    int numbers[3] = {0, 0, 0};
    int count = 0;
    char half = 0;
    for (std::size_t i = 0; i < piece.size();) {
        const char c = piece[i];
        if (is_digit(c)) {
            if (count == 3) {
                return std::nullopt;
            }
            int value = 0;
            for (; i < piece.size() && is_digit(piece[i]); ++i) {
                value = value * 10 + (piece[i] - '0');
            }
            numbers[count++] = value;
            continue;
        }
        const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if ((upper == 'A' || upper == 'P') && half == 0) {
            half = upper;
        } else if (upper != 'M' && c != '-' && c != '.') {
            return std::nullopt;
        }
        ++i;
    }
    WallTime wall{numbers[0], numbers[1], numbers[2], 0};
    if (half == 'P' && wall.hour < 12) {
        wall.hour += 12;
    } else if (half == 'A' && wall.hour == 12) {
        wall.hour = 0;
    }
    if (count < 2 || wall.hour > 23 || wall.minute > 59 || wall.second > 60) {
        return std::nullopt;
    }
    return wall;
}

// "12-05-2026", as date_text writes it.
std::optional<CalendarDate> read_date_piece(const std::string& piece) {
    CalendarDate date;
    char rest = 0;
    if (std::sscanf(piece.c_str(), "%2d-%2d-%4d%c", &date.month, &date.day, &date.year, &rest) !=
            3 ||
        date.month < 1 || date.month > 12 || date.day < 1 || date.day > 31) {
        return std::nullopt;
    }
    return date;
}

}  // namespace

TakeLogEntry recovered_take_entry(const std::string& name, const std::string& started,
                                  std::int64_t frames) {
    TakeLogEntry entry;
    entry.file_name = name;
    entry.outcome = TakeOutcome::kRecovered;
    entry.frames = frames;
    entry.offsets_known = false;
    const std::size_t cut = started.rfind('_');
    if (cut == std::string::npos) {
        return entry;
    }
    const std::optional<WallTime> wall = read_time_piece(started.substr(0, cut));
    const std::optional<CalendarDate> date = read_date_piece(started.substr(cut + 1));
    if (wall && date) {
        entry.start = LocalTime{{}, *date, *wall};
    }
    return entry;
}

}  // namespace taperly
