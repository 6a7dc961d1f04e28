#include "link/port_devices.h"

#include <cstdlib>

namespace taperly {

std::string serial_device_for_port(int port_number) {
    if (port_number < 1) {
        return {};
    }
    const std::string number = std::to_string(port_number);
    const char* chosen = std::getenv(("TAPERLY_COM" + number).c_str());
    if (chosen != nullptr && *chosen != '\0') {
        return chosen;
    }
#ifdef _WIN32
    return "COM" + number;
#else
    return "/dev/ttyS" + std::to_string(port_number - 1);
#endif
}

}  // namespace taperly
