#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace taperly {

enum class NameAdded { kAdded, kNameTaken, kFailed };

// The few system calls a take's file needs, made by the twin of
// native_file_posix.cpp or native_file_windows.cpp that the build picks.
// Paths are UTF-8. A call that fails says so through its result and leaves
// the reason in errno, so that callers report it the same way everywhere.
class NativeFile {
  public:
    NativeFile() = default;
    ~NativeFile() { close(); }
    NativeFile(NativeFile&& other) noexcept : handle_(std::exchange(other.handle_, kNone)) {}
    NativeFile& operator=(NativeFile&& other) noexcept {
        if (this != &other) {
            close();
            handle_ = std::exchange(other.handle_, kNone);
        }
        return *this;
    }
    NativeFile(const NativeFile&) = delete;
    NativeFile& operator=(const NativeFile&) = delete;

    // A new, empty file named `prefix`, a few random letters and `suffix`, in
    // `folder`, open for reading and writing and hidden wherever the system
    // hides files by more than their name. `path` gets its path. The file is
    // held for as long as it is open: nobody can claim it meanwhile.
    static NativeFile create_hidden(const std::string& folder, const std::string& prefix,
                                    std::string& path, const std::string& suffix = ".wav");
    enum class Claim { kClaimed, kHeld, kFailed };
    // The plain file at `path`, open for reading and writing and held as
    // create_hidden holds its files; none, and kHeld, while another holds it.
    // Never follows a link.
    static NativeFile claim(const std::string& path, Claim& outcome);
    // A new, empty file at `path`; none when anything already has that name.
    static NativeFile create_new(const std::string& path);
    // The file at `path`, made when missing, open for reading and for
    // writing at its end only.
    static NativeFile open_to_append(const std::string& path);

    bool is_open() const { return handle_ != kNone; }
    // False when the system reported a failure while closing (delayed write
    // errors on some file systems).
    bool close();

    // The bytes read at `offset`: 0 at the end, -1 on failure.
    std::int64_t read_at(std::int64_t offset, void* into, std::int64_t count) const;
    // The bytes written at `offset`; fewer than `count` only on failure.
    std::int64_t write_at(std::int64_t offset, const void* from, std::int64_t count);
    // Writes at the end in one call of the system, so that a file others
    // append to too never gets rows woven into each other; the bytes
    // written, fewer than `count` only on failure.
    std::int64_t append(const void* from, std::int64_t count);
    // The file's length, -1 on failure.
    std::int64_t size() const;
    // Cuts the file to `size` bytes.
    bool resize(std::int64_t size);
    // Waits until what was written is on the disk itself, not only in the
    // system's cache: a power cut after it loses nothing of it. True where
    // the file system has no such wait.
    bool flush();
    // How many names the file has (hard links), -1 on failure.
    std::int64_t name_count() const;
    // Moves this file's name `from` to `to` in one step, never when anything
    // has that name already; the file is no longer hidden afterwards.
    NameAdded rename(const std::string& from, const std::string& to);
    // Removes this file's name `path`; the file goes once it is closed.
    bool remove(const std::string& path);

  private:
    static constexpr std::intptr_t kNone = -1;
    explicit NativeFile(std::intptr_t handle) : handle_(handle) {}

    // A descriptor, or a HANDLE; -1 is neither.
    std::intptr_t handle_ = kNone;
};

// Gives the file at `from` the further name `to` in one step, as a hard link,
// and never when anything has that name already. The file is no longer
// hidden afterwards, under either name.
NameAdded add_name(const std::string& from, const std::string& to);

// Removes the name `path`; false when it could not.
bool remove_name(const std::string& path);

// Waits until the names in `folder` are on the disk, so that a name just
// given survives a power cut. True where the file system has no such wait.
bool flush_folder(const std::string& folder);

// The bytes the user may still write in `folder`; none when the system
// cannot tell.
std::optional<std::int64_t> folder_free_bytes(const std::string& folder);

// The start of the name a hidden take has while it is made, before it is
// locked and named: one a crash left there holds nothing.
inline constexpr std::string_view kUnnamedTakePrefix = ".taperly-new-";
// The start of the hidden name a FLAC take has while it is encoded: one a
// crash left there is no take (its WAV is still there to be recovered).
inline constexpr std::string_view kPartialFlacPrefix = ".taperly-flac-";

// Whether a failure's errno says the disk, or the user's share of it, is full.
bool is_out_of_room(int error);

// The characters that make a name reach beyond the folder it is joined to
// (separators, Windows' drive and stream colon) or cut it short (the zero
// byte).
std::string_view name_breakers();

}  // namespace taperly
