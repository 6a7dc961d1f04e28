#pragma once

#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "support/temp_folder.h"

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

// `folder` seen read-only from now on through a mount of its own over it,
// while files already open there stay writable: a folder that turns
// read-only in the middle of a take. unmount() ends it.
inline std::string make_read_only(const std::string& folder) {
    if (::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
        return std::string("cannot make the folder read-only: ") + std::strerror(errno);
    }
    return {};
}

// A small disk mounted over a fresh folder for one test.
class SmallDisk {
  public:
    explicit SmallDisk(const std::string& size) {
        refusal_ = mount_small_disk(folder_.path(), size);
    }
    ~SmallDisk() {
        if (refusal_.empty()) {
            unmount(folder_.path());
        }
    }
    const std::string& refusal() const { return refusal_; }
    testing::TempFolder& folder() { return folder_; }

  private:
    testing::TempFolder folder_;
    std::string refusal_;
};

// The output of a shell command, and whether it succeeded.
inline bool run_command(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return false;
    }
    std::string text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        text += buffer;
    }
    const bool succeeded = ::pclose(pipe) == 0;
    if (output != nullptr) {
        *output = text;
    }
    return succeeded;
}

// An exFAT file system as a USB stick carries it, mounted over `folder`:
// an image made by mkfs.exfat, a loop device for it, and the FUSE driver
// (this kernel has no exFAT of its own). Everything is undone at the end.
class ExfatDisk {
  public:
    ExfatDisk(const std::string& image, const std::string& folder, const std::string& size)
        : folder_(folder) {
        std::string output;
        if (!run_command("truncate -s " + size + " '" + image + "' && mkfs.exfat '" + image + "'",
                         &output)) {
            refusal_ = "cannot make an exFAT image: " + output;
            return;
        }
        if (!run_command("losetup --find --show '" + image + "'", &output)) {
            refusal_ = "cannot attach a loop device: " + output;
            return;
        }
        device_ = output.substr(0, output.find('\n'));
        if (!run_command("mount.exfat-fuse '" + device_ + "' '" + folder_ + "'", &output)) {
            refusal_ = "cannot mount exFAT: " + output;
            return;
        }
        mounted_ = true;
    }
    ~ExfatDisk() {
        if (mounted_) {
            run_command("umount '" + folder_ + "'");
        }
        if (!device_.empty()) {
            run_command("losetup -d '" + device_ + "'");
        }
    }
    ExfatDisk(const ExfatDisk&) = delete;
    ExfatDisk& operator=(const ExfatDisk&) = delete;

    // Why there is no exFAT folder, "" when there is.
    const std::string& refusal() const { return refusal_; }

  private:
    std::string folder_;
    std::string device_;
    bool mounted_ = false;
    std::string refusal_;
};

}  // namespace taperly::e2e
