#pragma once

#include <string>

namespace taperly {

// The folder that holds the running program, where its settings and takes
// are kept: UTF-8, without a trailing separator; "" when the system cannot
// tell. From executable_folder_posix.cpp or executable_folder_windows.cpp, as
// the build picks.
std::string executable_folder();

}  // namespace taperly
