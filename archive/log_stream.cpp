#include "archive/log_stream.h"

#include "settings/utf8_path.h"
#include "tracking/take_log_codec.h"

namespace taperly {

LogStream::LogStream(const std::string& path, std::int64_t from)
    : file_(utf8_path(path), std::ios::binary) {
    if (!file_) {
        return;
    }
    file_.seekg(0, std::ios::end);
    size_ = file_.tellg();
    offset_ = from > 0 && from <= size_ ? from : 0;
    file_.seekg(offset_);
    reader_.emplace(file_, offset_);
}

std::optional<TakeLogEntry> LogStream::next() {
    if (!reader_) {
        return std::nullopt;
    }
    while (reader_->next(fields_)) {
        if (!reader_->row_ended()) {
            // Still being written, or cut by a power cut: read once mended.
            return std::nullopt;
        }
        offset_ = reader_->offset();
        if (std::optional<TakeLogEntry> entry = read_take_log_row(fields_)) {
            return entry;
        }
    }
    return std::nullopt;
}

}  // namespace taperly
