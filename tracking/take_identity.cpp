#include "tracking/take_identity.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "settings/utf8_path.h"

namespace taperly {

namespace {

constexpr std::int64_t kEnd = 64 * 1024;

}  // namespace

std::uint64_t fnv1a(std::uint64_t hash, const char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        hash ^= static_cast<unsigned char>(bytes[i]);
        hash *= 1099511628211ULL;
    }
    return hash;
}

std::string hex64(std::uint64_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(16, '0');
    for (int i = 15; i >= 0; --i, value >>= 4) {
        text[static_cast<std::size_t>(i)] = kDigits[value & 15];
    }
    return text;
}

std::optional<TakeIdentity> identity_of(std::int64_t bytes, const ReadAt& read_at) {
    if (bytes < 0) {
        return std::nullopt;
    }
    // The start, and the end after it without reading a byte twice.
    const std::int64_t head = std::min(bytes, kEnd);
    const std::int64_t tail_from = std::max(head, bytes - kEnd);
    std::vector<char> buffer(static_cast<std::size_t>(kEnd));
    std::uint64_t hash = kFnvStart;
    for (const auto& [from, to] : {std::pair{std::int64_t{0}, head}, std::pair{tail_from, bytes}}) {
        for (std::int64_t at = from; at < to;) {
            const std::int64_t got = read_at(at, buffer.data(), to - at);
            if (got <= 0) {
                return std::nullopt;
            }
            hash = fnv1a(hash, buffer.data(), static_cast<std::size_t>(got));
            at += got;
        }
    }
    return TakeIdentity{bytes, hex64(hash)};
}

std::optional<TakeIdentity> identify_file(const std::string& path) {
    std::error_code error;
    const std::filesystem::path native = utf8_path(path);
    if (std::filesystem::symlink_status(native, error).type() !=
        std::filesystem::file_type::regular) {
        return std::nullopt;
    }
    std::ifstream file(native, std::ios::binary | std::ios::ate);
    if (!file) {
        return std::nullopt;
    }
    const std::int64_t bytes = file.tellg();
    return identity_of(bytes, [&file](std::int64_t offset, char* into, std::int64_t count) {
        file.clear();
        file.seekg(offset);
        file.read(into, count);
        return file ? count : static_cast<std::int64_t>(file.gcount() > 0 ? file.gcount() : -1);
    });
}

}  // namespace taperly
