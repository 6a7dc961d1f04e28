#include "link/scanner_link.h"

#include <climits>
#include <cmath>
#include <cstdio>

#include "link/link_error.h"
#include "settings/number_text.h"

namespace taperly {

int port_number_from_text(std::string_view port_text) {
    const double number = round_half_to_even(leading_number(port_text));
    // The port number is a 16-bit value; anything beyond cannot name a port.
    if (!std::isfinite(number) || number < SHRT_MIN || number > SHRT_MAX) {
        return 0;
    }
    return static_cast<int>(number);
}

LineSettings line_settings_from_text(std::string_view speed_text) {
    const double speed = leading_number(speed_text);
    if (!std::isfinite(speed) || speed < 1 || speed > INT_MAX || speed != std::floor(speed)) {
        char shown[64];
        std::snprintf(shown, sizeof shown, "%g", speed);
        throw LinkError(std::string("The port speed ") + shown +
                        " is not one a serial line can run at.");
    }
    const int bits_per_second = static_cast<int>(speed);
    return {bits_per_second, std::to_string(bits_per_second) + ",n,8,1"};
}

int port_number_to_open(std::string_view port_text) {
    const int port_number = port_number_from_text(port_text);
    if (port_number < 1) {
        throw LinkError("There is no COM port " + std::to_string(port_number) +
                        ": choose a port from 1 to 10.");
    }
    return port_number;
}

void open_scanner_port(ScannerPort& port, std::string_view port_text, std::string_view speed_text) {
    if (port.is_open()) {
        port.close();
    }
    const int port_number = port_number_to_open(port_text);
    const LineSettings settings = line_settings_from_text(speed_text);
    port.open(port_number, settings.bits_per_second);
}

void close_scanner_port(ScannerPort& port) {
    port.close();
}

void send_command(ScannerPort& port, std::string_view command) {
    std::string line(command);
    line.push_back('\r');
    port.write(line);
}

void press_e_key(ScannerPort& port) {
    send_command(port, "KEY,E,P");
}

}  // namespace taperly
