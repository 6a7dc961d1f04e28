#include "archive/csv_rows.h"

namespace taperly {

bool CsvReader::next(std::vector<std::string>& fields) {
    fields.assign(1, std::string());
    bool quoted = false;
    std::int64_t read = 0;
    // Through the stream, which turns a failed read (a folder in the file's
    // place) into its end rather than an exception.
    for (int c; (c = in_.get()) != std::char_traits<char>::eof();) {
        ++read;
        if (quoted) {
            if (c != '"') {
                fields.back() += static_cast<char>(c);
            } else if (in_.peek() == '"') {
                fields.back() += '"';
                in_.get();
                ++read;

            } else {
                quoted = false;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c == '\n') {
            consumed_ += read;
            return true;
        } else if (c != '\r') {
            fields.back() += static_cast<char>(c);
        }
    }
    return false;
}

std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

}  // namespace taperly
