#include "settings/number_text.h"

#include <cctype>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <string>

namespace taperly {

namespace {

bool is_ignored(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

bool is_digit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Length of the longest prefix of `text` that forms a number.
std::size_t number_length(const std::string& text) {
    std::size_t pos = 0;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        ++pos;
    }
    std::size_t digits = 0;
    bool seen_point = false;
    while (pos < text.size()) {
        if (is_digit(text[pos])) {
            ++digits;
        } else if (text[pos] == '.' && !seen_point) {
            seen_point = true;
        } else {
            break;
        }
        ++pos;
    }
    if (digits == 0) {
        return 0;
    }
    // An exponent counts only when digits follow it.
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        std::size_t exp = pos + 1;
        if (exp < text.size() && (text[exp] == '+' || text[exp] == '-')) {
            ++exp;
        }
        if (exp < text.size() && is_digit(text[exp])) {
            while (exp < text.size() && is_digit(text[exp])) {
                ++exp;
            }
            pos = exp;
        }
    }
    return pos;
}

}  // namespace

double leading_number(std::string_view text) {
    std::string packed;
    packed.reserve(text.size());
    for (char c : text) {
        if (!is_ignored(c)) {
            packed.push_back(c);
        }
    }
    const std::size_t length = number_length(packed);
    if (length == 0) {
        return 0.0;
    }
    // from_chars, unlike strtod, ignores the locale: the full stop is the
    // decimal separator whatever language the desktop speaks.
    std::size_t start = 0;
    bool negative = false;
    if (packed[0] == '+' || packed[0] == '-') {
        negative = packed[0] == '-';
        start = 1;
    }
    double value = 0.0;
    const auto [ptr, error] = std::from_chars(packed.data() + start, packed.data() + length, value);
    if (error == std::errc::result_out_of_range) {
        // Too large or too small for a double: tell the two apart by the
        // exponent's sign so that 1e-999 reads 0 and 1e999 reads infinity.
        const std::string_view number(packed.data(), length);
        const auto exponent = number.find_first_of("eE");
        const bool tiny = exponent != std::string_view::npos && exponent + 1 < number.size() &&
                          number[exponent + 1] == '-';
        value = tiny ? 0.0 : HUGE_VAL;
    }
    return negative ? -value : value;
}

double round_half_to_even(double value) {
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(previous);
    return rounded;
}

}  // namespace taperly
