#pragma once

#include <string>

namespace taperly {

// The device behind COM port `port_number`: the value of TAPERLY_COM<N> when
// it is set and not empty, otherwise the system's own name for the port
// (/dev/ttyS<N-1> on Linux, COM<N> on Windows). Empty for a number below 1,
// which names no port.
std::string serial_device_for_port(int port_number);

}  // namespace taperly
