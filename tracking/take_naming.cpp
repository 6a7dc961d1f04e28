#include "tracking/take_naming.h"

#include <algorithm>
#include <cstdio>

#include "tracking/file_name_limits.h"
#include "tracking/text_ops.h"

namespace taperly {

namespace {

bool is_control(unsigned char c) {
    return c < 32 || c == 127;
}

std::size_t utf8_size(const std::string& latin1) {
    return latin1.size() +
           static_cast<std::size_t>(std::count_if(latin1.begin(), latin1.end(), [](char c) {
               return static_cast<unsigned char>(c) > 127;
           }));
}

std::size_t utf8_size(unsigned char c) {
    return c > 127 ? 2 : 1;
}

}  // namespace

void clean_name_piece(std::string& text, std::string_view refused) {
    for (const char* unsafe : {" ", "/", "\\", ":", "*", "?", "\""}) {
        replace_all(text, unsafe, "-");
    }
    for (const char& character : refused) {
        replace_all(text, std::string_view(&character, 1), "-");
    }
    // A zero byte would cut the path short at the system call and a line
    // break has no place in a file name.
    for (char& c : text) {
        if (is_control(static_cast<unsigned char>(c))) {
            c = '-';
        }
    }
}

std::string time_piece(std::string time_of_day) {
    replace_all(time_of_day, ":", "-");
    replace_all(time_of_day, " ", "-");
    return time_of_day;
}

std::string date_text(const CalendarDate& date) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d-%02d-%04d", date.month, date.day, date.year);
    return text;
}

std::string latin1_to_utf8(const std::string& latin1) {
    std::string utf8;
    utf8.reserve(utf8_size(latin1));
    for (char c : latin1) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 128) {
            utf8.push_back(c);
        } else {
            utf8.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return utf8;
}

std::string compose_take_name(std::vector<std::string> texts, const std::string& start,
                              const std::string& end, const std::string& date, std::size_t room,
                              const std::string& extension) {
    const std::string tail = start + "_" + end + "_" + date + extension;
    std::size_t size = tail.size() + texts.size();  // one "_" after each text
    if (room < size) {
        room = kMaxFileNameBytes;
    }
    for (const std::string& text : texts) {
        size += utf8_size(text);
    }
    // A name the file system refuses would lose the take: shorten the texts,
    // the longest first, and keep the times and date whole.
    while (size > room) {
        auto longest = std::max_element(
            texts.begin(), texts.end(),
            [](const auto& a, const auto& b) { return utf8_size(a) < utf8_size(b); });
        if (longest == texts.end() || longest->empty()) {
            break;
        }
        size -= utf8_size(static_cast<unsigned char>(longest->back()));
        longest->pop_back();
    }
    std::string name;
    for (const std::string& text : texts) {
        name += latin1_to_utf8(text);
        name += "_";
    }
    name += tail;
    // A leading dot would hide the take, and could make it pass for a
    // leftover of a crash at the next start.
    if (name.front() == '.') {
        name.front() = '-';
    }
    return name;
}

}  // namespace taperly
