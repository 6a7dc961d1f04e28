#include "archive/trash.h"

#include <filesystem>

#include "archive/star_file.h"
#include "recorder/wave_recorder.h"
#include "settings/file_exists.h"
#include "settings/utf8_path.h"

namespace taperly {

std::string trash_take(const std::string& folder, const std::string& name, Trash& trash) {
    if (!is_bare_file_name(name) || name.front() == '.' || name == "takes.csv" ||
        name == StarFile::kName) {
        return name + " is not a take's name";
    }
    const std::string path = join_path(folder, name);
    std::error_code error;
    const auto type = std::filesystem::symlink_status(utf8_path(path), error).type();
    if (type == std::filesystem::file_type::not_found) {
        return name + " is no longer there";
    }
    if (type != std::filesystem::file_type::regular) {
        return name + " is not a plain file";
    }
    std::string problem;
    return trash.move_to_trash(path, problem) ? std::string() : name + ": " + problem;
}

}  // namespace taperly
