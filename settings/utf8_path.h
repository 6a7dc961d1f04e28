#pragma once

#include <filesystem>
#include <string>

namespace taperly {

// Taperly keeps paths as UTF-8. A std::filesystem::path made from a plain
// string would read it in the system's code page on Windows, which turns a
// folder such as C:\Users\José into another name.
std::filesystem::path utf8_path(const std::string& utf8);

}  // namespace taperly
