#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace taperly {

// What file names in `folder` refuse beyond what every take name is cleaned
// of, from file_name_limits_posix.cpp or file_name_limits_windows.cpp as the
// build picks: the characters, each of which becomes "-". On Windows always
// < > and |; elsewhere those too where the folder's file system refuses
// them (FAT, exFAT, many shares), nothing where it takes them.
std::string refused_name_characters(const std::string& folder);

// The most bytes of UTF-8 a take name may have in `folder`: what one name
// may hold, and on Windows no more than leaves the whole path within the
// length its programs can open.
std::size_t take_name_room(const std::string& folder);

}  // namespace taperly
