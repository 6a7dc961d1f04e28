#pragma once

#include <functional>
#include <memory>
#include <string>

#include "link/scanner_port.h"

namespace taperly {

// The serial line of this build's system. A line that goes away while open is
// closed and reported once through `on_link_lost`, possibly from inside one
// of the port's own calls: the receiver takes note and acts once it is over.
std::unique_ptr<ScannerPort> make_scanner_port(
    std::function<void(const std::string& reason)> on_link_lost);

}  // namespace taperly
