#include "tools/launch/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "tools/launch/wait_until.h"

extern char** environ;

namespace taperly::launch {

ChildProcess::ChildProcess(std::vector<std::string> arguments, ChildOptions options) {
    start(std::move(arguments), options);
}

ChildProcess::~ChildProcess() {
    stop();
}

void ChildProcess::start(std::vector<std::string> arguments, const ChildOptions& options) {
    if (arguments.empty()) {
        return;
    }
    // Everything the child uses is made before the fork: in a process with
    // threads, the child may only make calls that are safe after it.
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> variables = options.environment.value_or(std::vector<std::string>{});
    std::vector<char*> own_environment;
    for (std::string& variable : variables) {
        own_environment.push_back(variable.data());
    }
    own_environment.push_back(nullptr);
    const bool replace_environment = options.environment.has_value();
    const char* error_path = options.error_path.empty() ? nullptr : options.error_path.c_str();

    int output[2] = {-1, -1};
    if (options.read_output && ::pipe2(output, O_CLOEXEC) != 0) {
        return;
    }
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ < 0) {
        if (options.read_output) {
            ::close(output[0]);
            ::close(output[1]);
        }
        return;
    }
    if (pid_ == 0) {
        // Only calls that are safe between fork and exec from here on.
        ::prctl(PR_SET_PDEATHSIG, options.death_signal);
        if (::getppid() != parent) {
            ::_exit(126);
        }
        if (options.ignore_interrupt) {
            ::signal(SIGINT, SIG_IGN);
        }
        if (output[1] >= 0) {
            ::dup2(output[1], STDOUT_FILENO);
        }
        if (error_path != nullptr) {
            const int errors = ::open(error_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (errors >= 0) {
                ::dup2(errors, STDERR_FILENO);
            }
        }
        ::execvpe(argv[0], argv.data(), replace_environment ? own_environment.data() : environ);
        ::_exit(127);
    }
    if (options.read_output) {
        ::close(output[1]);
        output_ = output[0];
    }
}

bool ChildProcess::reap() {
    if (!started() || ended_) {
        return true;
    }
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
        wait_status_ = status;
        ended_ = true;
    } else if (done < 0 && errno == ECHILD) {
        // Reaped elsewhere: it has ended, though how is no longer known.
        ended_ = true;
    }
    return ended_;
}

bool ChildProcess::running() {
    return !reap();
}

void ChildProcess::send(int signal) {
    // Until it is reaped its number cannot be another process's.
    if (started() && !ended_) {
        ::kill(pid_, signal);
    }
}

std::optional<int> ChildProcess::wait_status() {
    reap();
    return wait_status_;
}

bool ChildProcess::wait_for_exit(std::chrono::milliseconds limit) {
    return wait_until([this] { return reap(); }, limit);
}

std::optional<int> ChildProcess::end_with(int signal, std::chrono::milliseconds limit) {
    send(signal);
    wait_for_exit(limit);
    return wait_status_;
}

std::string ChildProcess::read_line(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (unread_output_.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd watched{output_, POLLIN, 0};
        if (output_ < 0 || left.count() <= 0 ||
            ::poll(&watched, 1, static_cast<int>(left.count())) <= 0) {
            return {};
        }
        char bytes[256];
        const ssize_t count = ::read(output_, bytes, sizeof bytes);
        if (count <= 0) {
            return {};
        }
        unread_output_.append(bytes, static_cast<std::size_t>(count));
    }
    const std::size_t end = unread_output_.find('\n');
    std::string line = unread_output_.substr(0, end);
    unread_output_.erase(0, end + 1);
    return line;
}

void ChildProcess::stop() {
    if (output_ >= 0) {
        ::close(output_);
        output_ = -1;
    }
    if (!running()) {
        return;
    }
    send(SIGTERM);
    if (!wait_for_exit(std::chrono::seconds(5))) {
        end_with(SIGKILL);
    }
}

}  // namespace taperly::launch
