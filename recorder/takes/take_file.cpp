#include "recorder/takes/take_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <utility>
#include <vector>

namespace taperly {

namespace {

constexpr std::string_view kHiddenPrefix = ".taperly-take-";
constexpr std::string_view kSuffix = ".wav";
// A start time and date of any locale fit; the name stays far below what a
// folder may hold.
constexpr std::size_t kLongestStart = 96;

// Whether `text` can stand in a file name on every system Taperly runs on.
bool is_name_piece(const std::string& text) {
    return text.size() <= kLongestStart && std::none_of(text.begin(), text.end(), [](char c) {
               return static_cast<unsigned char>(c) < 32 ||
                      std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
           });
}

}  // namespace

std::string hidden_take_prefix(const std::string& started) {
    std::string prefix(kHiddenPrefix);
    if (!started.empty()) {
        prefix += started + "-";
    }
    return prefix;
}

std::optional<std::string> hidden_take_start(const std::string& file_name) {
    const std::string_view name(file_name);
    if (name.size() <= kHiddenPrefix.size() + kSuffix.size() || !name.starts_with(kHiddenPrefix) ||
        !name.ends_with(kSuffix)) {
        return std::nullopt;
    }
    // The random part has no dash; what comes before it is the start.
    const std::string_view middle =
        name.substr(kHiddenPrefix.size(), name.size() - kHiddenPrefix.size() - kSuffix.size());
    const std::size_t dash = middle.rfind('-');
    return dash == std::string_view::npos ? std::string() : std::string(middle.substr(0, dash));
}

TakeFile::TakeFile(std::string folder) : folder_(std::move(folder)) {}

bool TakeFile::create(const std::string& started) {
    discard();
    started_ = is_name_piece(started) ? started : std::string();
    file_ = NativeFile::create_hidden(folder_, hidden_take_prefix(started_), hidden_path_);
    return file_.is_open();
}

std::string TakeFile::path_of(const std::string& name) const {
    constexpr auto separator = static_cast<char>(std::filesystem::path::preferred_separator);
    if (!folder_.empty() && folder_.back() == separator) {
        return folder_ + name;
    }
    return folder_ + separator + name;
}

std::int64_t TakeFile::read(void* into, std::int64_t count) {
    const std::int64_t got = file_.read_at(position_, into, count);
    if (got > 0) {
        position_ += got;
    }
    return got;
}

std::int64_t TakeFile::write(const void* from, std::int64_t count) {
    const std::int64_t put = file_.write_at(position_, from, count);
    position_ += put;
    return put;
}

std::int64_t TakeFile::seek(std::int64_t offset, int whence) {
    std::int64_t base = 0;
    if (whence == SEEK_CUR) {
        base = position_;
    } else if (whence == SEEK_END) {
        base = size();
        if (base < 0) {
            return -1;
        }
    }
    if (base + offset < 0) {
        errno = EINVAL;
        return -1;
    }
    position_ = base + offset;
    return position_;
}

TakeFile::Saved TakeFile::save_as(const std::string& name) {
    if (!is_open()) {
        errno = EBADF;
        return Saved::kFailed;
    }
    // Said to be saved only once it would outlive a power cut.
    if (!file_.flush()) {
        return Saved::kFailed;
    }
    const Saved saved = give_name(path_of(name));
    if (saved == Saved::kStored && !flush_folder(folder_)) {
        return Saved::kStoredNotFlushed;
    }
    return saved;
}

TakeFile::Saved TakeFile::give_name(const std::string& target) {
    switch (add_name(hidden_path_, target)) {
        case NameAdded::kAdded:
            return Saved::kStored;
        case NameAdded::kNameTaken:
            return Saved::kNameTaken;
        case NameAdded::kFailed:
            break;
    }
    // FAT, exFAT and many shares hold no hard links: the hidden file itself
    // takes the name where a rename can refuse to replace.
    switch (file_.rename(hidden_path_, target)) {
        case NameAdded::kAdded:
            hidden_path_.clear();
            return Saved::kStored;
        case NameAdded::kNameTaken:
            return Saved::kNameTaken;
        case NameAdded::kFailed:
            break;
    }
    // Elsewhere, or with the hidden name gone, a copy never loses a file
    // either: it is made only if the name is free.
    if (store_copy(target)) {
        return Saved::kStored;
    }
    return errno == EEXIST ? Saved::kNameTaken : Saved::kFailed;
}

void TakeFile::keep_hidden() {
    file_.close();
    hidden_path_.clear();
    position_ = 0;
}

void TakeFile::discard() {
    file_.close();
    if (!hidden_path_.empty()) {
        remove_name(hidden_path_);
    }
    hidden_path_.clear();
    position_ = 0;
}

bool TakeFile::copy_into(NativeFile& to) const {
    std::vector<char> buffer(1 << 16);
    for (std::int64_t offset = 0;;) {
        const std::int64_t got =
            file_.read_at(offset, buffer.data(), static_cast<std::int64_t>(buffer.size()));
        if (got <= 0) {
            return got == 0;
        }
        if (to.write_at(offset, buffer.data(), got) != got) {
            return false;
        }
        offset += got;
    }
}

bool TakeFile::store_copy(const std::string& target) const {
    NativeFile to = NativeFile::create_new(target);
    if (!to.is_open()) {
        return false;
    }
    const bool copied = copy_into(to) && to.flush();
    if (!to.close() || !copied) {
        // A half-written copy is not a take; the name was ours, so remove it.
        const int error = errno;
        remove_name(target);
        errno = error;
        return false;
    }
    return true;
}

}  // namespace taperly
