#include "keeping/take_name_shape.h"

#include <vector>

namespace taperly {

namespace {

constexpr std::size_t kLongestTimePiece = 64;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_cleaned_away(char c) {
    switch (c) {
        case ' ':
        case '/':
        case '\\':
        case ':':
        case '*':
        case '?':
        case '"':
        case 127:
            return true;
        default:
            return static_cast<unsigned char>(c) < 32;
    }
}

std::vector<std::string_view> pieces_of(std::string_view stem) {
    std::vector<std::string_view> pieces;
    for (std::size_t start = 0;;) {
        const std::size_t cut = stem.find('_', start);
        pieces.push_back(stem.substr(start, cut - start));
        if (cut == std::string_view::npos) {
            return pieces;
        }
        start = cut + 1;
    }
}

// "9-05-07-PM", "21-05-07", "21.05.07", "오후-9-05-07", "21時05分07秒".
bool is_time_piece(std::string_view piece) {
    if (piece.empty() || piece.size() > kLongestTimePiece) {
        return false;
    }
    int numbers = 0;
    for (std::size_t at = 0; at < piece.size();) {
        if (!is_digit(piece[at])) {
            ++at;
            continue;
        }
        std::size_t run = 0;
        for (; at < piece.size() && is_digit(piece[at]); ++at) {
            ++run;
        }
        if (run > 2) {
            return false;
        }
        ++numbers;
    }
    return numbers == 2 || numbers == 3;
}

// "12-05-2026", as date_text writes it.
bool is_date_piece(std::string_view piece) {
    if (piece.size() != 10 || piece[2] != '-' || piece[5] != '-') {
        return false;
    }
    for (std::size_t at : {0, 1, 3, 4, 6, 7, 8, 9}) {
        if (!is_digit(piece[at])) {
            return false;
        }
    }
    const int month = (piece[0] - '0') * 10 + (piece[1] - '0');
    const int day = (piece[3] - '0') * 10 + (piece[4] - '0');
    return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

// "2", "3" …: the number a recovered take's name gets when its name is taken.
bool is_recovery_number(std::string_view piece) {
    if (piece.empty() || piece.size() > 4 || piece[0] == '0' || piece == "1") {
        return false;
    }
    for (char c : piece) {
        if (!is_digit(c)) {
            return false;
        }
    }
    return true;
}

bool is_unfinished_take(const std::vector<std::string_view>& pieces, bool wav) {
    return wav && pieces[0] == "unfinished" && (pieces.size() == 3 || pieces.size() == 4) &&
           is_time_piece(pieces[1]) && is_date_piece(pieces[2]) &&
           (pieces.size() == 3 || is_recovery_number(pieces[3]));
}

// At least three texts (system, group, talkgroup; or the display's), each
// possibly empty, before the times and the date.
bool is_named_take(const std::vector<std::string_view>& pieces) {
    const std::size_t count = pieces.size();
    return count >= 6 && is_time_piece(pieces[count - 3]) && is_time_piece(pieces[count - 2]) &&
           is_date_piece(pieces[count - 1]);
}

}  // namespace

bool has_take_name_shape(std::string_view name) {
    if (name.empty() || name.front() == '.') {
        return false;
    }
    for (char c : name) {
        if (is_cleaned_away(c)) {
            return false;
        }
    }
    const bool wav = name.ends_with(".wav");
    if (!wav && !name.ends_with(".flac")) {
        return false;
    }
    const std::vector<std::string_view> pieces =
        pieces_of(name.substr(0, name.size() - (wav ? 4 : 5)));
    return is_unfinished_take(pieces, wav) || is_named_take(pieces);
}

std::string folded_name(std::string_view name) {
    std::string folded(name);
    for (std::size_t at = 0; at < folded.size(); ++at) {
        char& c = folded[at];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        } else if (c == '\xC3' && at + 1 < folded.size()) {
            // À to Þ, but not ×, as UTF-8: their small twins are 0x20 on.
            const auto next = static_cast<unsigned char>(folded[at + 1]);
            if (next >= 0x80 && next <= 0x9E && next != 0x97) {
                folded[at + 1] = static_cast<char>(next + 0x20);
            }
            ++at;
        }
    }
    return folded;
}

}  // namespace taperly
