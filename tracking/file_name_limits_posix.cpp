#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "tracking/file_name_limits.h"
#include "tracking/take_naming.h"

namespace taperly {

// The file system is asked with a name that holds them: FAT and exFAT refuse
// what Windows refuses (the kernel's with EINVAL, FUSE's exFAT with ENOENT),
// and what else they refuse every take name is cleaned of already. A folder
// that cannot be written to now says nothing either way, and names stay as
// they are.
std::string refused_name_characters(const std::string& folder) {
    const std::string probe = folder + "/.taperly-name-probe-<>|";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        ::unlink(probe.c_str());
        return {};
    }
    const int error = errno;
    struct stat status {};
    const bool folder_there = ::stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    if (folder_there && (error == EINVAL || error == ENOENT || error == EILSEQ)) {
        return "<>|";
    }
    return {};
}

// A path may be far longer than any take name.
std::size_t take_name_room(const std::string&) {
    return kMaxFileNameBytes;
}

}  // namespace taperly
