#pragma once

// The window driver, Taperly's window on its real parts, as a program of its
// own that the test can signal and kill.

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "support/simulator_process.h"

extern char** environ;

namespace taperly::e2e {

class WindowProcess {
  public:
    // Saving into `folder`; with `run_at_start`, Run is pressed by itself.
    WindowProcess(const std::string& folder, bool run_at_start) {
        std::vector<std::string> variables;
        for (char** variable = environ; *variable != nullptr; ++variable) {
            if (std::string(*variable).rfind("TAPERLY_RUN_AT_START=", 0) != 0) {
                variables.emplace_back(*variable);
            }
        }
        if (run_at_start) {
            variables.emplace_back("TAPERLY_RUN_AT_START=1");
        }
        std::vector<char*> environment;
        for (std::string& variable : variables) {
            environment.push_back(variable.data());
        }
        environment.push_back(nullptr);
        std::string program = TAPERLY_WINDOW_DRIVER;
        std::string argument = folder;
        char* arguments[] = {program.data(), argument.data(), nullptr};
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) {
                ::_exit(126);
            }
            ::execve(arguments[0], arguments, environment.data());
            ::_exit(127);
        }
    }
    ~WindowProcess() { kill(); }
    WindowProcess(const WindowProcess&) = delete;
    WindowProcess& operator=(const WindowProcess&) = delete;

    bool started() const { return pid_ > 0; }
    // Ends it with SIGKILL; its wait status.
    int kill() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            reap(0);
        }
        return status_;
    }
    void send(int signal) const {
        if (pid_ > 0) {
            ::kill(pid_, signal);
        }
    }
    // Its wait status once it has ended, within `limit`; none while it runs.
    std::optional<int> wait_for_exit(std::chrono::milliseconds limit) {
        testing::wait_until([this] { return pid_ <= 0 || reap(WNOHANG); }, limit);
        return pid_ > 0 ? std::nullopt : std::optional<int>(status_);
    }
    // Whether it is still running (it has not crashed or quit).
    bool running() { return pid_ > 0 && !reap(WNOHANG); }

  private:
    bool reap(int options) {
        if (::waitpid(pid_, &status_, options) != pid_) {
            return false;
        }
        pid_ = -1;
        return true;
    }

    pid_t pid_ = -1;
    int status_ = 0;
};

}  // namespace taperly::e2e
