#include "settings/file_exists.h"

#include <filesystem>

#include "settings/utf8_path.h"

namespace taperly {

bool file_exists(const std::string& path) {
    const std::filesystem::path where = utf8_path(path);
    std::error_code error;
    const auto link_status = std::filesystem::symlink_status(where, error);
    if (error || !std::filesystem::exists(link_status)) {
        return false;
    }
    return !std::filesystem::is_directory(std::filesystem::status(where, error));
}

std::string join_path(const std::string& folder, const std::string& name) {
    std::string joined = folder;
    if (joined.empty() || joined.back() != std::filesystem::path::preferred_separator) {
        joined.push_back(std::filesystem::path::preferred_separator);
    }
    joined += name;
    return joined;
}

}  // namespace taperly
