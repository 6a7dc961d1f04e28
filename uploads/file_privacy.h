#pragma once

#include <string>

namespace taperly {

// Why others than its owner can read the file at `path`, in words for the
// user with what to do about it; empty when they cannot. On Linux its mode
// bits for the group and others; on Windows whether its access list lets
// Everyone, Authenticated Users, Users or Guests read it.
std::string read_by_others(const std::string& path);

}  // namespace taperly
