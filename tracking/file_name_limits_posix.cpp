#include "tracking/file_name_limits.h"
#include "tracking/take_naming.h"

namespace taperly {

// Only "/" and the zero byte are refused here, and the cleaning takes both.
std::string_view refused_name_characters() {
    return {};
}

// A path may be far longer than any take name.
std::size_t take_name_room(const std::string&) {
    return kMaxFileNameBytes;
}

}  // namespace taperly
