#include "uploads/upload_rows.h"

#include <cerrno>
#include <cstring>

#include "recorder/takes/appended_rows.h"

namespace taperly {

namespace {

std::string field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

}  // namespace

void UploadsCsv::add(const UploadRow& row) {
    const std::string text = field(row.time) + "," + field(row.file) + "," + field(row.target) +
                             "," + field(row.outcome) + "," +
                             (row.http_status > 0 ? std::to_string(row.http_status) : "") + "," +
                             field(row.answer) + "," + std::to_string(row.tries) + "\r\n";
    const std::lock_guard writing(writing_);
    const bool written =
        append_whole_row(path_, "time,file,target,outcome,HTTP status,answer,tries\r\n", text);
    const std::string failure =
        written ? std::string()
                : std::string("uploads.csv cannot be written: ") + std::strerror(errno);
    const std::lock_guard lock(mutex_);
    failure_ = failure;
}

std::string UploadsCsv::failure() const {
    const std::lock_guard lock(mutex_);
    return failure_;
}

}  // namespace taperly
