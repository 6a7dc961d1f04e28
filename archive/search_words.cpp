#include "archive/search_words.h"

#include <cctype>

namespace taperly {

namespace {

// Punctuation and blanks beyond ASCII: Latin-1's signs, the general
// punctuation block (dashes, curly quotes, the ellipsis), CJK and
// full-width punctuation.
bool parts_words(char32_t code) {
    return (code >= 0xA0 && code <= 0xBF) || code == 0xD7 || code == 0xF7 ||
           (code >= 0x2000 && code <= 0x206F) || (code >= 0x3000 && code <= 0x303F) ||
           (code >= 0xFF00 && code <= 0xFF0F) || (code >= 0xFF1A && code <= 0xFF20);
}

// The code point of the UTF-8 sequence at `at`, and its length.
char32_t code_at(const std::string& text, std::size_t at, std::size_t& length) {
    const auto lead = static_cast<unsigned char>(text[at]);
    length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (at + length > text.size()) {
        length = text.size() - at;
        return 0xFFFD;
    }
    char32_t code = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (std::size_t i = 1; i < length; ++i) {
        code = code << 6 | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    }
    return code;
}

}  // namespace

std::vector<std::string> search_words(const std::string& typed) {
    std::vector<std::string> words;
    std::string word;
    for (std::size_t at = 0; at < typed.size();) {
        std::size_t length = 1;
        const char32_t code = code_at(typed, at, length);
        const bool letter =
            code < 0x80 ? std::isalnum(static_cast<int>(code)) != 0 : !parts_words(code);
        if (letter) {
            word.append(typed, at, length);
        } else if (!word.empty()) {
            words.push_back(std::move(word));
            word.clear();
        }
        at += length;
    }
    if (!word.empty()) {
        words.push_back(std::move(word));
    }
    return words;
}

std::string word_beginning(const std::string& word) {
    std::string quoted = "\"";
    for (char c : word) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"*";
}

}  // namespace taperly
