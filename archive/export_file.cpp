#include "archive/export_file.h"

#include <cerrno>
#include <vector>

#include "settings/file_exists.h"

namespace taperly {

namespace {

std::string numbered(const std::string& name, int number) {
    if (number == 1) {
        return name;
    }
    const std::size_t dot = name.rfind('.');
    const std::string suffix = "_" + std::to_string(number);
    return dot == std::string::npos || dot == 0 ? name + suffix
                                                : name.substr(0, dot) + suffix + name.substr(dot);
}

}  // namespace

ExportFile::ExportFile(std::string folder, const std::string& extension)
    : folder_(std::move(folder)),
      file_(NativeFile::create_hidden(folder_, ".taperly-export-", hidden_path_, extension)) {}

ExportFile::~ExportFile() {
    if (file_.is_open() && !named_) {
        file_.remove(hidden_path_);
    }
}

bool ExportFile::write(const void* bytes, std::int64_t count) {
    if (!write_at(size_, bytes, count)) {
        return false;
    }
    size_ += count;
    return true;
}

bool ExportFile::write_at(std::int64_t offset, const void* bytes, std::int64_t count) {
    errno = 0;
    if (file_.write_at(offset, bytes, count) != count) {
        errno = errno != 0 ? errno : ENOSPC;
        return false;
    }
    return true;
}

std::string ExportFile::name(const std::string& name) {
    if (!file_.flush()) {
        return {};
    }
    for (int number = 1; number < 10000; ++number) {
        const std::string tried = numbered(name, number);
        const std::string path = join_path(folder_, tried);
        NameAdded added = file_.rename(hidden_path_, path);
        if (added == NameAdded::kFailed) {
            // A stick or a share that can neither link nor refuse to replace
            // in a rename: a copy into a file made anew, never over one.
            added = copy_to(path);
        }
        switch (added) {
            case NameAdded::kAdded:
                named_ = true;
                flush_folder(folder_);
                return tried;
            case NameAdded::kNameTaken:
                continue;
            case NameAdded::kFailed:
                return {};
        }
    }
    errno = EEXIST;
    return {};
}

NameAdded ExportFile::copy_to(const std::string& path) {
    NativeFile copy = NativeFile::create_new(path);
    if (!copy.is_open()) {
        return errno == EEXIST ? NameAdded::kNameTaken : NameAdded::kFailed;
    }
    std::vector<char> buffer(1 << 16);
    bool copied = true;
    for (std::int64_t offset = 0; copied && offset < size_;) {
        const std::int64_t got =
            file_.read_at(offset, buffer.data(), static_cast<std::int64_t>(buffer.size()));
        copied = got > 0 && copy.write_at(offset, buffer.data(), got) == got;
        offset += got;
    }
    copied = copied && copy.flush();
    if (!copy.close() || !copied) {
        const int error = errno;
        remove_name(path);
        errno = error;
        return NameAdded::kFailed;
    }
    file_.remove(hidden_path_);
    return NameAdded::kAdded;
}

}  // namespace taperly
