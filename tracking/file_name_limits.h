#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace taperly {

// What this system's file names refuse beyond what every take name is
// cleaned of, from file_name_limits_posix.cpp or file_name_limits_windows.cpp
// as the build picks: the characters, each of which becomes "-".
std::string_view refused_name_characters();

// The most bytes of UTF-8 a take name may have in `folder`: what one name
// may hold, and on Windows no more than leaves the whole path within the
// length its programs can open.
std::size_t take_name_room(const std::string& folder);

}  // namespace taperly
