#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace taperly::sim {

struct SimOptions {
    std::string scenario_path;
    int bits_per_second = 9600;
    // Empty: commands are logged to standard error.
    std::string log_path;
    bool print_path = false;
    bool loop = false;
    // The scenario's clock starts with the first byte received unless this is set.
    bool start_now = false;
    bool help = false;
    // Empty: no link, the device path is the line's own.
    std::string link_path;
};

class UsageError : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};

// Reads the arguments after the program name. Throws UsageError.
SimOptions parse_sim_options(const std::vector<std::string>& arguments);

extern const char* const kSimHelp;

}  // namespace taperly::sim
