#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace taperly::sim {

// One line per command received: seconds since the simulator started, a
// blank, and the command's bytes with escapes (see escape_bytes), its
// carriage return included, e.g. "1.204 STS\r". Each line is written at once,
// so a test can read the file while the simulator runs.
class CommandLog {
  public:
    // An empty path logs to standard error. Throws std::system_error when
    // the file cannot be created.
    explicit CommandLog(const std::string& path);
    ~CommandLog();
    CommandLog(const CommandLog&) = delete;
    CommandLog& operator=(const CommandLog&) = delete;

    void command(std::string_view bytes);
    // Seconds since the simulator started, as the lines give them.
    double seconds() const;

  private:
    int fd_ = 2;
    bool owned_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace taperly::sim
