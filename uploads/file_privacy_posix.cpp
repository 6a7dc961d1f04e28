#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "uploads/file_privacy.h"

namespace taperly {

std::string read_by_others(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return std::string("its permissions cannot be read (") + std::strerror(errno) + ")";
    }
    if ((status.st_mode & (S_IRGRP | S_IROTH)) == 0) {
        return {};
    }
    char mode[8];
    std::snprintf(mode, sizeof mode, "%03o", static_cast<unsigned>(status.st_mode & 0777));
    return "uploads.ini holds keys and other users of this computer can read it (its mode is " +
           std::string(mode) + "); make it yours alone with: chmod 600 uploads.ini";
}

}  // namespace taperly
