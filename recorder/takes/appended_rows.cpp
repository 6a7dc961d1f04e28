#include "recorder/takes/appended_rows.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <vector>

#include "recorder/takes/native_file.h"

namespace taperly {

namespace {

// What must come before a row so that it starts a row of its own: nothing
// after a line end, else the end of the half row a crash left.
std::string mend_for(const NativeFile& file, std::int64_t size) {
    if (size == 0) {
        return {};
    }
    char last = 0;
    if (file.read_at(size - 1, &last, 1) != 1 || last == '\n') {
        return {};
    }
    // Rare and small: the whole file is read to tell whether the half row
    // stopped inside quotes, where a line end would join the rows.
    std::vector<char> bytes(static_cast<std::size_t>(size));
    std::string mend;
    if (file.read_at(0, bytes.data(), size) == size &&
        std::count(bytes.begin(), bytes.end(), '"') % 2 == 1) {
        mend = "\"";
    }
    return mend + (last == '\r' && mend.empty() ? "\n" : "\r\n");
}

}  // namespace

bool append_whole_row(const std::string& path, const std::string& header, const std::string& row) {
    NativeFile file = NativeFile::open_to_append(path);
    if (!file.is_open()) {
        return false;
    }
    const std::int64_t size = file.size();
    if (size < 0) {
        return false;
    }
    const std::string text = (size == 0 ? header : mend_for(file, size)) + row;
    const auto count = static_cast<std::int64_t>(text.size());
    errno = 0;
    const std::int64_t put = file.append(text.data(), count);
    if (put != count) {
        const int error = errno != 0 ? errno : ENOSPC;
        // Half a row must not stay in front of the next one.
        if (put > 0) {
            file.resize(size);
        }
        errno = error;
        return false;
    }
    const bool flushed = file.flush();
    const int error = errno;
    const bool closed = file.close();
    errno = flushed ? errno : error;
    return flushed && closed;
}

}  // namespace taperly
