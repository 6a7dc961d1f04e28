#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "keeping/checked_removal.h"

namespace taperly {

namespace {

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            const int error = errno;
            ::close(fd_);
            errno = error;
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

}  // namespace

Removal remove_if_unchanged(const std::string& path, const TakeIdentity& stored) {
    // A link is refused, not followed; a pipe would make the opening wait.
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) {
        if (errno == ENOENT) {
            return Removal::kGone;
        }
        return errno == ELOOP ? Removal::kNotPlain : Removal::kFailed;
    }
    struct stat opened {};
    if (::fstat(file.get(), &opened) != 0) {
        return Removal::kFailed;
    }
    if (!S_ISREG(opened.st_mode)) {
        return Removal::kNotPlain;
    }
    errno = 0;
    const std::optional<TakeIdentity> identity =
        identity_of(opened.st_size, [&file](std::int64_t offset, char* into, std::int64_t count) {
            for (;;) {
                const ssize_t got = ::pread(file.get(), into, static_cast<size_t>(count),
                                            static_cast<off_t>(offset));
                if (got >= 0 || errno != EINTR) {
                    return static_cast<std::int64_t>(got);
                }
            }
        });
    if (!identity) {
        if (errno == 0) {
            errno = EIO;
        }
        return Removal::kFailed;
    }
    if (*identity != stored) {
        return Removal::kChanged;
    }
    // The name must still lead to the file just proven.
    struct stat named {};
    if (::lstat(path.c_str(), &named) != 0) {
        return errno == ENOENT ? Removal::kGone : Removal::kFailed;
    }
    if (named.st_dev != opened.st_dev || named.st_ino != opened.st_ino) {
        return Removal::kChanged;
    }
    if (::unlink(path.c_str()) != 0) {
        return errno == ENOENT ? Removal::kGone : Removal::kFailed;
    }
    return Removal::kRemoved;
}

}  // namespace taperly
