#pragma once

#include <string>

#include "tools/launch/child_process.h"

namespace taperly::launch {

// How taperly-scanner-sim is started; see its --help.
struct SimulatorStart {
    std::string executable;
    std::string scenario_path;
    int bits_per_second = 9600;
    std::string log_path;
    // Where it tells what it does, and why it could not start.
    std::string error_path;
    bool loop = false;
    bool start_now = false;
    // Empty: no link; otherwise the line is known by this link to its device.
    std::string link_path;
    // For a driver that ends the simulator itself on Ctrl-C.
    bool ignore_interrupt = false;
};

// The scanner simulator as a child process, for the tests, the demo and the
// bench alike: started on a scenario, its line's device path read from its
// first line of output, ended when this goes away.
class SimulatorChild {
  public:
    // Throws std::runtime_error, with the simulator's own words, when it
    // does not name its line within a few seconds.
    explicit SimulatorChild(const SimulatorStart& start);

    // The device path of its line, or the link's when it was given one.
    const std::string& line_path() const { return line_path_; }
    // What it wrote to standard error so far.
    std::string error_output() const;
    ChildProcess& process() { return process_; }

  private:
    std::string error_path_;
    ChildProcess process_;
    std::string line_path_;
};

}  // namespace taperly::launch
