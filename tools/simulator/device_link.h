#pragma once

#include <string>

namespace taperly::sim {

// A symbolic link that names the line's device, as /dev/serial/by-id/ names
// a USB adapter: it goes when the adapter is pulled and comes back pointing
// at whatever device the adapter gets when it is plugged in again.
class DeviceLink {
  public:
    // An empty path keeps no link.
    explicit DeviceLink(std::string path) : path_(std::move(path)) {}
    ~DeviceLink() { remove(); }
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    // Points the link at `device`, replacing an old link in one step so
    // that nobody ever finds it half made. Throws std::system_error.
    void point_at(const std::string& device);
    void remove();
    // What the other end opens: the link, or `device` when there is none.
    std::string name_for(const std::string& device) const { return path_.empty() ? device : path_; }

  private:
    std::string path_;
};

}  // namespace taperly::sim
