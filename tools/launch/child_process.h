#pragma once

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace taperly::launch {

struct ChildOptions {
    // "NAME=value" entries; none: this process's own environment.
    std::optional<std::vector<std::string>> environment;
    // Where its standard error goes; empty: where this process's goes.
    std::string error_path;
    // Whether its standard output comes to this process, for read_line().
    bool read_output = false;
    // What the system sends it should this process die first, so that no
    // child outlives a test or a demo that was killed.
    int death_signal = SIGTERM;
    // For a child whose Ctrl-C is this process's to act on: this process
    // ends it in its own time.
    bool ignore_interrupt = false;
};

// A program started as a child of this one and ended with it: by stop() when
// this goes away, or by the system should this process die first.
class ChildProcess {
  public:
    // `arguments` start with the program, looked up on PATH when it has no
    // slash. started() says whether it could be started at all.
    explicit ChildProcess(std::vector<std::string> arguments, ChildOptions options = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Whether it has not ended yet; one that has ended is reaped.
    bool running();
    // Sends `signal` unless it has ended.
    void send(int signal);
    // Its wait status once it has ended and been reaped, none before.
    std::optional<int> wait_status();
    // Whether it ended within `limit`.
    bool wait_for_exit(std::chrono::milliseconds limit);
    // Sends `signal` and waits up to `limit` for it to end; its wait status.
    std::optional<int> end_with(int signal,
                                std::chrono::milliseconds limit = std::chrono::seconds(5));
    // The next line of its output, without the line end; "" when no whole
    // line comes within `limit` or the output ends first.
    std::string read_line(std::chrono::milliseconds limit);
    // SIGTERM, then SIGKILL for one that does not end within a few seconds.
    void stop();

  private:
    void start(std::vector<std::string> arguments, const ChildOptions& options);
    bool reap();

    pid_t pid_ = -1;
    bool ended_ = false;
    std::optional<int> wait_status_;
    int output_ = -1;
    std::string unread_output_;
};

}  // namespace taperly::launch
