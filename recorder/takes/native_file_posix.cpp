#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>
#include <utility>

#include "recorder/takes/native_file.h"

namespace taperly {

namespace {

constexpr mode_t kTakeFileMode = 0644;

int descriptor(std::intptr_t handle) {
    return static_cast<int>(handle);
}

std::string random_letters(std::size_t count) {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 pick{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> any(0, sizeof kLetters - 2);
    std::string letters;
    for (std::size_t i = 0; i < count; ++i) {
        letters.push_back(kLetters[any(pick)]);
    }
    return letters;
}

// fsync where the file system cannot wait for its disk (some FUSE and
// network ones) says so with these: nothing more can be done there.
bool synced(int result) {
    return result == 0 || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP;
}

}  // namespace

NativeFile NativeFile::create_hidden(const std::string& folder, const std::string& prefix,
                                     std::string& path, const std::string& suffix) {
    // Made and locked under a name no leftover has, and only then given the
    // hidden take's: a Taperly starting meanwhile in the same folder could
    // otherwise claim it as a leftover between the two steps.
    std::string unnamed = folder + "/" + std::string(kUnnamedTakePrefix) + "XXXXXX";
    const int fd = ::mkostemp(unnamed.data(), O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    NativeFile file(fd);
    const auto fail = [&unnamed] {
        const int error = errno;
        ::unlink(unnamed.c_str());
        errno = error;
        return NativeFile();
    };
    // The lock tells a Taperly starting in the same folder that this take is
    // still being written; without it, its recovery would take the take.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return fail();
    }
    // A take is a file like any other once saved; mkostemp keeps it private.
    ::fchmod(fd, kTakeFileMode);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = folder + "/" + prefix + random_letters(6) + suffix;
        switch (file.rename(unnamed, candidate)) {
            case NameAdded::kAdded:
                path = candidate;
                return file;
            case NameAdded::kNameTaken:
                continue;
            case NameAdded::kFailed:
                break;
        }
        // File systems with neither hard links nor renames that refuse to
        // replace: the name is random, so one looked for first is free.
        struct stat status {};
        if (errno != EPERM && errno != EOPNOTSUPP) {
            return fail();
        }
        if (::lstat(candidate.c_str(), &status) != 0 && errno == ENOENT &&
            ::rename(unnamed.c_str(), candidate.c_str()) == 0) {
            path = candidate;
            return file;
        }
    }
    return fail();
}

NativeFile NativeFile::claim(const std::string& path, Claim& outcome) {
    outcome = Claim::kFailed;
    // A link could reach out of the folder, and opening a pipe would wait.
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        return {};
    }
    NativeFile file(fd);
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return {};
    }
    if (!S_ISREG(status.st_mode)) {
        errno = EINVAL;
        return {};
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            outcome = Claim::kHeld;
        }
        return {};
    }
    outcome = Claim::kClaimed;
    return file;
}

NativeFile NativeFile::create_new(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kTakeFileMode);
    return fd < 0 ? NativeFile() : NativeFile(fd);
}

NativeFile NativeFile::open_to_append(const std::string& path) {
    const int fd =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, kTakeFileMode);
    return fd < 0 ? NativeFile() : NativeFile(fd);
}

bool NativeFile::close() {
    if (!is_open()) {
        return true;
    }
    const int fd = descriptor(std::exchange(handle_, kNone));
    return ::close(fd) == 0;
}

std::int64_t NativeFile::read_at(std::int64_t offset, void* into, std::int64_t count) const {
    for (;;) {
        const ssize_t got = ::pread(descriptor(handle_), into, static_cast<size_t>(count),
                                    static_cast<off_t>(offset));
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}

std::int64_t NativeFile::write_at(std::int64_t offset, const void* from, std::int64_t count) {
    const char* bytes = static_cast<const char*>(from);
    std::int64_t done = 0;
    while (done < count) {
        const ssize_t put =
            ::pwrite(descriptor(handle_), bytes + done, static_cast<size_t>(count - done),
                     static_cast<off_t>(offset + done));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            if (put == 0) {
                errno = EIO;
            }
            break;
        }
        done += put;
    }
    return done;
}

std::int64_t NativeFile::append(const void* from, std::int64_t count) {
    for (;;) {
        const ssize_t put = ::write(descriptor(handle_), from, static_cast<size_t>(count));
        if (put >= 0 || errno != EINTR) {
            return put < 0 ? 0 : put;
        }
    }
}

std::int64_t NativeFile::size() const {
    struct stat status {};
    if (::fstat(descriptor(handle_), &status) != 0) {
        return -1;
    }
    return status.st_size;
}

bool NativeFile::resize(std::int64_t size) {
    return ::ftruncate(descriptor(handle_), static_cast<off_t>(size)) == 0;
}

bool NativeFile::flush() {
    for (;;) {
        const int result = ::fsync(descriptor(handle_));
        if (result == 0 || errno != EINTR) {
            return synced(result);
        }
    }
}

std::int64_t NativeFile::name_count() const {
    struct stat status {};
    if (::fstat(descriptor(handle_), &status) != 0) {
        return -1;
    }
    return static_cast<std::int64_t>(status.st_nlink);
}

NameAdded NativeFile::rename(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return NameAdded::kAdded;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno == EEXIST ? NameAdded::kNameTaken : NameAdded::kFailed;
    }
    // File systems that cannot refuse to replace in a rename: a second name
    // first, never over a file, then the first one goes.
    const NameAdded added = add_name(from, to);
    if (added == NameAdded::kAdded) {
        remove_name(from);
    }
    return added;
}

bool NativeFile::remove(const std::string& path) {
    return remove_name(path);
}

NameAdded add_name(const std::string& from, const std::string& to) {
    if (::link(from.c_str(), to.c_str()) == 0) {
        return NameAdded::kAdded;
    }
    return errno == EEXIST ? NameAdded::kNameTaken : NameAdded::kFailed;
}

bool remove_name(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool flush_folder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool flushed = synced(::fsync(fd));
    const int error = errno;
    ::close(fd);
    errno = error;
    return flushed;
}

std::optional<std::int64_t> folder_free_bytes(const std::string& folder) {
    struct statvfs space {};
    if (::statvfs(folder.c_str(), &space) != 0) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(space.f_bavail) * static_cast<std::int64_t>(space.f_frsize);
}

bool is_out_of_room(int error) {
    return error == ENOSPC || error == EDQUOT;
}

std::string_view name_breakers() {
    return std::string_view("/\0", 2);
}

}  // namespace taperly
