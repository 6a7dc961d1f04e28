#include "tools/simulator/device_link.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace taperly::sim {

void DeviceLink::point_at(const std::string& device) {
    if (path_.empty()) {
        return;
    }
    const std::string fresh = path_ + ".new";
    ::unlink(fresh.c_str());
    if (::symlink(device.c_str(), fresh.c_str()) != 0 ||
        std::rename(fresh.c_str(), path_.c_str()) != 0) {
        const int error = errno;
        ::unlink(fresh.c_str());
        throw std::system_error(error, std::generic_category(), "cannot make the link " + path_);
    }
}

void DeviceLink::remove() {
    if (!path_.empty()) {
        ::unlink(path_.c_str());
    }
}

}  // namespace taperly::sim
