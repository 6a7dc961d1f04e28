#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace taperly {

// What tells the file Taperly stored as a take from any file that comes to
// have its name later: its length in bytes, and a fingerprint (FNV-1a, 64
// bits, in hex) of its first and last 64 KiB. A take trimmed and exported
// again has another length; one normalised, filtered or given other tags in
// an editor has other bytes at its start, where the header and its tags
// are. Only the ends are read, so that a take of an hour costs no more
// than one of a second when its row is written.
struct TakeIdentity {
    std::int64_t bytes = 0;
    std::string fingerprint;
    bool operator==(const TakeIdentity&) const = default;
};

// Reads `count` bytes at `offset` into `into`: the bytes read, -1 on failure.
using ReadAt = std::function<std::int64_t(std::int64_t offset, char* into, std::int64_t count)>;

// The identity of a file of `bytes` bytes read through `read_at`; none when
// it could not be read whole where it is looked at.
std::optional<TakeIdentity> identity_of(std::int64_t bytes, const ReadAt& read_at);

// The identity of the plain file at `path` (UTF-8); none for anything else,
// or when it cannot be read.
std::optional<TakeIdentity> identify_file(const std::string& path);

// FNV-1a over `count` bytes, going on from `hash`.
inline constexpr std::uint64_t kFnvStart = 14695981039346656037ULL;
std::uint64_t fnv1a(std::uint64_t hash, const char* bytes, std::size_t count);
std::string hex64(std::uint64_t value);

}  // namespace taperly
