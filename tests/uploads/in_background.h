#pragma once

#include <string>
#include <vector>

// Starts `arguments` (the program first) as a child of this process that
// goes on without it; false when it could not be started
// (in_background_posix.cpp, in_background_windows.cpp).
bool start_in_background(const std::vector<std::string>& arguments);
