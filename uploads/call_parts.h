#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

namespace taperly {

// Makes the MP3 (mono, 22050 Hz) the hosted services take from a take.
class SoundEncoder {
  public:
    virtual ~SoundEncoder() = default;
    // Empty when `mp3` holds the take's sound, else why not.
    virtual std::string encode_mp3(const std::string& take, const std::string& mp3,
                                   const std::atomic<bool>& cancelled) = 0;
};

struct CommandResult {
    // Why it could not be started; empty when it ran.
    std::string failure;
    int exit_code = -1;
    bool timed_out = false;
    bool cancelled = false;
    // The last line it wrote to its output or its errors.
    std::string last_line;
};

// Runs a program without a shell, and ends it (and what it started) once it
// has run longer than its limit.
class CommandRunner {
  public:
    virtual ~CommandRunner() = default;
    virtual CommandResult run(const std::vector<std::string>& arguments,
                              std::chrono::milliseconds limit, const std::string& output_path,
                              const std::atomic<bool>& cancelled) = 0;
};

}  // namespace taperly
