#pragma once

// The window driver, Taperly's window on its real parts, as a program of its
// own that the test can signal and kill.

#include <signal.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "tools/launch/child_process.h"

extern char** environ;

namespace taperly::e2e {

class WindowProcess {
  public:
    // Saving into `folder`; with `run_at_start`, Run is pressed by itself.
    WindowProcess(const std::string& folder, bool run_at_start)
        : process_({TAPERLY_WINDOW_DRIVER, folder}, options(run_at_start)) {}
    ~WindowProcess() { kill(); }
    WindowProcess(const WindowProcess&) = delete;
    WindowProcess& operator=(const WindowProcess&) = delete;

    bool started() const { return process_.started(); }
    // Ends it with SIGKILL; its wait status.
    int kill() { return process_.end_with(SIGKILL).value_or(0); }
    void send(int signal) { process_.send(signal); }
    // Its wait status once it has ended, within `limit`; none while it runs.
    std::optional<int> wait_for_exit(std::chrono::milliseconds limit) {
        process_.wait_for_exit(limit);
        return process_.wait_status();
    }
    // Whether it is still running (it has not crashed or quit).
    bool running() { return process_.running(); }

  private:
    static launch::ChildOptions options(bool run_at_start) {
        launch::ChildOptions options;
        std::vector<std::string> variables;
        for (char** variable = environ; *variable != nullptr; ++variable) {
            if (std::string(*variable).rfind("TAPERLY_RUN_AT_START=", 0) != 0) {
                variables.emplace_back(*variable);
            }
        }
        if (run_at_start) {
            variables.emplace_back("TAPERLY_RUN_AT_START=1");
        }
        options.environment = variables;
        // A test killed by its time limit takes its window with it.
        options.death_signal = SIGKILL;
        return options;
    }

    launch::ChildProcess process_;
};

}  // namespace taperly::e2e
