#pragma once

#include <cstddef>
#include <string_view>

#include "link/reply_fields.h"

namespace taperly {

// The width the scanner pads every display line to.
inline constexpr std::size_t kDisplayLineWidth = 16;

// A status reply split into fields, with each display line (fields 1 and 3)
// whole again when a comma in its text split it.
ReplyFields status_fields(std::string_view text);

}  // namespace taperly
