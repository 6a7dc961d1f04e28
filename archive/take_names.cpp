#include "archive/take_names.h"

#include <algorithm>
#include <vector>

#include "archive/civil_time.h"
#include "archive/search_words.h"
#include "tracking/take_log.h"

namespace taperly {

namespace {

std::string without_extension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) {
        return name;
    }
    std::string extension = name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == "wav" || extension == "flac" ? name.substr(0, dot) : name;
}

std::vector<std::string> pieces_of(const std::string& text) {
    std::vector<std::string> pieces(1);
    for (char c : text) {
        if (c == '_') {
            pieces.emplace_back();
        } else {
            pieces.back() += c;
        }
    }
    return pieces;
}

// "9-05-07-PM" and "12-05-2026" as one local time, read as recovery reads
// an unfinished take's name.
std::optional<LocalTime> time_and_date(const std::string& time, const std::string& date) {
    return recovered_take_entry({}, time + "_" + date, 0).start;
}

// A name's text: the cleaning turned blanks (and / \ : * ? ") into dashes,
// and "-" alone is a line never seen.
std::string text_of(const std::string& piece) {
    if (piece == "-") {
        return {};
    }
    std::string text = piece;
    std::replace(text.begin(), text.end(), '-', ' ');
    return text;
}

TakeTexts texts_of(const std::vector<std::string>& texts) {
    TakeTexts read;
    if (texts.size() == 3 && texts[1] != "-") {
        read.system = text_of(texts[0]);
        read.group = text_of(texts[1]);
        read.talkgroup = text_of(texts[2]);
    } else if (texts.size() == 3 || texts.size() == 4) {
        read.display_line1 = text_of(texts[0]);
        read.display_line2 = text_of(texts[2]);
    }
    return read;
}

bool is_number(const std::string& piece) {
    return !piece.empty() &&
           std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The pieces of a Taperly name that are texts; none when it is no such name.
std::optional<std::vector<std::string>> taperly_texts(const std::vector<std::string>& pieces,
                                                      NameReading* reading) {
    const std::size_t count = pieces.size();
    if (count >= 3 && pieces[0] == "unfinished") {
        const bool numbered = count == 4 && is_number(pieces[3]);
        if (count == 3 || numbered) {
            if (auto start = time_and_date(pieces[1], pieces[2])) {
                if (reading != nullptr) {
                    reading->start = start;
                }
                // The word is all it says beyond its time: a search finds it.
                return std::vector<std::string>{pieces[0]};
            }
        }
        return std::nullopt;
    }
    if (count < 4) {
        return std::nullopt;
    }
    std::optional<LocalTime> start = time_and_date(pieces[count - 3], pieces[count - 1]);
    const std::optional<LocalTime> end = time_and_date(pieces[count - 2], pieces[count - 1]);
    if (!start || !end) {
        return std::nullopt;
    }
    if (local_seconds(*start) > local_seconds(*end)) {
        start->date = civil_from_days(days_from_civil(start->date) - 1);
    }
    if (reading != nullptr) {
        reading->start = start;
    }
    return std::vector<std::string>(pieces.begin(), pieces.end() - 3);
}

// Words as the search splits them, lower case.
std::vector<std::string> words_of(const std::string& text) {
    std::vector<std::string> words = search_words(text);
    for (std::string& word : words) {
        std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) {
            return static_cast<char>(c < 0x80 ? std::tolower(c) : c);
        });
    }
    return words;
}

}  // namespace

NameReading read_take_name(const std::string& name) {
    NameReading reading;
    if (const auto texts = taperly_texts(pieces_of(without_extension(name)), &reading)) {
        reading.texts = texts_of(*texts);
    }
    return reading;
}

std::string name_words(const std::string& name, const TakeTexts& texts) {
    const std::vector<std::string> pieces = pieces_of(without_extension(name));
    std::string searched;
    for (const std::string& piece : taperly_texts(pieces, nullptr).value_or(pieces)) {
        searched += piece + ' ';
    }
    std::vector<std::string> known;
    for (const std::string* text : {&texts.system, &texts.group, &texts.talkgroup,
                                    &texts.display_line1, &texts.display_line2}) {
        const std::vector<std::string> words = words_of(*text);
        known.insert(known.end(), words.begin(), words.end());
    }
    std::string extra;
    for (const std::string& word : words_of(searched)) {
        const bool found = std::any_of(known.begin(), known.end(), [&word](const std::string& k) {
            return k.rfind(word, 0) == 0;
        });
        if (!found && (" " + extra).find(" " + word + " ") == std::string::npos) {
            extra += word + ' ';
        }
    }
    if (!extra.empty()) {
        extra.pop_back();
    }
    return extra;
}

}  // namespace taperly
