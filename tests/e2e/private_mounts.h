#pragma once

#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace taperly::e2e {

// Gives this process mounts of its own, so a folder the tests mount over is
// seen by nobody else and vanishes with the process however it ends. Call
// before any thread starts. Returns why it could not, or "".
inline std::string enter_private_mounts() {
    if (::unshare(CLONE_NEWNS) != 0) {
        return std::string("cannot have mounts of its own: ") + std::strerror(errno);
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return std::string("cannot keep its mounts private: ") + std::strerror(errno);
    }
    return {};
}

// Why the test process has no mounts of its own ("" when it has); set by the
// fault tests' main.
const std::string& private_mounts_refusal();

// A small memory file system over `folder`; `size` as mount(8) reads it.
// Tests run as root, which file permissions do not stop, so a folder is made
// read-only by its mount, and full by its size.
inline std::string mount_small_disk(const std::string& folder, const std::string& size) {
    const std::string options = "size=" + size + ",mode=0755";
    if (::mount("taperly-e2e", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) !=
        0) {
        return std::string("cannot mount a small disk: ") + std::strerror(errno);
    }
    return {};
}

inline bool remount(const std::string& folder, bool read_only) {
    const unsigned long flags = MS_REMOUNT | MS_NOSUID | MS_NODEV | (read_only ? MS_RDONLY : 0);
    return ::mount(nullptr, folder.c_str(), nullptr, flags, nullptr) == 0;
}

inline void unmount(const std::string& folder) {
    ::umount2(folder.c_str(), MNT_DETACH);
}

}  // namespace taperly::e2e
