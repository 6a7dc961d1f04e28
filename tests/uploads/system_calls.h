#pragma once

// What a test asks of the system about processes and files;
// system_calls_posix.cpp and system_calls_windows.cpp answer.

#include <string>

namespace taperly::testing {

// This process's threads.
int thread_count();

// Whether the process `pid` (in decimal) has ended.
bool process_gone(const std::string& pid);

// Lets users other than the file's owner read it, or no longer.
void let_others_read(const std::string& path, bool read);

}  // namespace taperly::testing
