#pragma once

#include <optional>
#include <string_view>

namespace taperly {

// The poll phase read strictly: the whole text must be a number (blanks
// around it allowed). Nothing when it is not one.
std::optional<double> poll_phase_value(std::string_view phase);

}  // namespace taperly
