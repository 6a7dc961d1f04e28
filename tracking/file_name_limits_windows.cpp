#include <algorithm>

#include "tracking/file_name_limits.h"
#include "tracking/take_naming.h"

namespace taperly {

namespace {

// Explorer and most players open no path longer than this, in UTF-16 units.
constexpr std::size_t kLongestOrdinaryPath = 259;

// UTF-16 units of a UTF-8 text: one per letter, two for those beyond U+FFFF.
std::size_t utf16_units(const std::string& utf8) {
    std::size_t units = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80) {
            units += byte >= 0xF0 ? 2 : 1;
        }
    }
    return units;
}

}  // namespace

std::string refused_name_characters(const std::string& /*folder*/) {
    return "<>|";
}

// A name's bytes are never fewer than its UTF-16 units, so counting bytes
// against the units left keeps the path within the limit.
std::size_t take_name_room(const std::string& folder) {
    const std::size_t used = utf16_units(folder) + 1;  // and the separator
    if (used >= kLongestOrdinaryPath) {
        return 0;
    }
    return std::min(kMaxFileNameBytes, kLongestOrdinaryPath - used);
}

}  // namespace taperly
