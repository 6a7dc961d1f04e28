#pragma once

#include <string>

#include "uploads/call_parts.h"

namespace taperly {

// The command target's runner on this system: posix_spawn and a process
// group of its own, or CreateProcess and a job object on Windows.
class PlatformCommandRunner : public CommandRunner {
  public:
    CommandResult run(const std::vector<std::string>& arguments, std::chrono::milliseconds limit,
                      const std::string& output_path, const std::atomic<bool>& cancelled) override;
};

// The last line of the file at `path` that says anything, cut to a line.
std::string last_line_of(const std::string& path);

}  // namespace taperly
