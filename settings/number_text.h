#pragma once

#include <string_view>

namespace taperly {

// Reads the leading number of a text the lenient way the settings file and the
// port and speed lists have always been read: blanks, tabs and line feeds are
// ignored anywhere, then a sign, digits with at most one full stop and an
// exponent are taken as far as they form a number. No leading number reads 0.
double leading_number(std::string_view text);

// Rounds to the nearest whole number, an exact half to the even neighbour.
double round_half_to_even(double value);

}  // namespace taperly
