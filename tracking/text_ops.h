#pragma once

#include <string>
#include <string_view>

namespace taperly {

// Leading and trailing spaces removed (only spaces, as the scanner pads with them).
std::string trim_spaces(std::string_view text);

// Every occurrence of `from` in `text` replaced by `to`.
void replace_all(std::string& text, std::string_view from, std::string_view to);

}  // namespace taperly
