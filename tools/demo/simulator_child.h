#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace taperly::demo {

// The scanner simulator as a child process: started with its arguments, the
// line's device path read from its first line of output, ended when this
// goes away (and by the system should the driver die first).
class SimulatorChild {
  public:
    // `arguments` follow the executable; "--print-path" is added. Throws
    // std::runtime_error with the simulator's own words when it does not
    // name its line within a few seconds.
    SimulatorChild(const std::string& executable, std::vector<std::string> arguments,
                   const std::string& error_file);
    ~SimulatorChild();
    SimulatorChild(const SimulatorChild&) = delete;
    SimulatorChild& operator=(const SimulatorChild&) = delete;

    const std::string& line_path() const { return line_path_; }
    bool running();

  private:
    void stop();
    bool reap(int wait_ms);

    pid_t pid_ = -1;
    std::string line_path_;
};

}  // namespace taperly::demo
