#include "archive/star_file.h"

#include <filesystem>
#include <fstream>
#include <unordered_map>
#include <utility>

#include "archive/csv_rows.h"
#include "recorder/takes/appended_rows.h"
#include "settings/file_exists.h"
#include "settings/utf8_path.h"

namespace taperly {

namespace {

constexpr const char* kHeader = "time,file,star\r\n";
constexpr const char* kStarred = "starred";
constexpr const char* kNotStarred = "not starred";

}  // namespace

StarFile::StarFile(const std::string& folder) : path_(join_path(folder, kName)) {}

std::optional<std::vector<std::string>> StarFile::starred() const {
    std::ifstream file(utf8_path(path_), std::ios::binary);
    std::error_code error;
    const auto type = std::filesystem::status(utf8_path(path_), error).type();
    if (type != std::filesystem::file_type::not_found &&
        type != std::filesystem::file_type::regular) {
        return std::nullopt;
    }
    if (!file) {
        // No stars given yet is no star; a file there that cannot be read
        // is not known.
        if (file_exists(path_)) {
            return std::nullopt;
        }
        return std::vector<std::string>{};
    }

    CsvReader rows(file);
    std::vector<std::string> fields;
    std::unordered_map<std::string, bool> last;
    std::vector<std::string> order;
    bool header = true;
    while (rows.next(fields)) {
        if (file.bad()) {
            return std::nullopt;
        }
        if (std::exchange(header, false) || fields.size() < 3) {
            continue;
        }
        const auto [place, added] = last.insert_or_assign(fields[1], fields[2] == kStarred);
        if (added) {
            order.push_back(fields[1]);
        }
    }
    if (file.bad()) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (const std::string& name : order) {
        if (last[name]) {
            names.push_back(name);
        }
    }
    return names;
}

bool StarFile::write(const std::vector<std::string>& names, bool starred,
                     const std::string& when) const {
    std::string rows;
    for (const std::string& name : names) {
        rows += csv_field(when) + ',' + csv_field(name) + ',' + (starred ? kStarred : kNotStarred) +
                "\r\n";
    }
    return rows.empty() || append_whole_row(path_, kHeader, rows);
}

}  // namespace taperly
