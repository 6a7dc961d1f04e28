#pragma once

#include <string>
#include <string_view>

#include "link/scanner_port.h"

namespace taperly {

// Line settings as the speed list gives them, for example "57600,n,8,1".
struct LineSettings {
    int bits_per_second = 0;
    std::string text;
};

// The COM number a port list text names: its leading number, rounded.
// 0 when the text does not begin with a number.
int port_number_from_text(std::string_view port_text);

// The COM number a port list text names. Throws LinkError when it names
// none a port can have.
int port_number_to_open(std::string_view port_text);

// The line settings a speed list text names. Throws LinkError when the text
// names no speed a serial line can run at.
LineSettings line_settings_from_text(std::string_view speed_text);

// Opens the port the two list texts name, closing it first if it is open.
void open_scanner_port(ScannerPort& port, std::string_view port_text, std::string_view speed_text);
void close_scanner_port(ScannerPort& port);

// Sends one command followed by one carriage return.
void send_command(ScannerPort& port, std::string_view command);
void press_e_key(ScannerPort& port);

}  // namespace taperly
