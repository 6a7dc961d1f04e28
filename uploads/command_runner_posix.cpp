#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "uploads/command_runner.h"

extern char** environ;

namespace taperly {

namespace {

constexpr int kLookMs = 100;

// A descriptor that becomes readable when the process ends; -1 where the
// system has none, and the wait then looks every few milliseconds.
int process_descriptor(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

class Attributes {
  public:
    Attributes() {
        ::posix_spawnattr_init(&attributes_);
        // A group of its own, so that what it starts ends with it; no signal
        // held or ignored as Taperly holds them.
        sigset_t none, all;
        sigemptyset(&none);
        sigfillset(&all);
        ::posix_spawnattr_setsigmask(&attributes_, &none);
        ::posix_spawnattr_setsigdefault(&attributes_, &all);
        ::posix_spawnattr_setpgroup(&attributes_, 0);
        ::posix_spawnattr_setflags(
            &attributes_, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~Attributes() { ::posix_spawnattr_destroy(&attributes_); }
    Attributes(const Attributes&) = delete;
    Attributes& operator=(const Attributes&) = delete;
    posix_spawnattr_t* get() { return &attributes_; }

  private:
    posix_spawnattr_t attributes_{};
};

class FileActions {
  public:
    explicit FileActions(const std::string& output) {
        ::posix_spawn_file_actions_init(&actions_);
        ::posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
        ::posix_spawn_file_actions_addopen(&actions_, 1, output.c_str(),
                                           O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::posix_spawn_file_actions_adddup2(&actions_, 1, 2);
    }
    ~FileActions() { ::posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_{};
};

// Whether the process ended, its status in `status`; waits `ms` at most.
bool ended(pid_t pid, int descriptor, int ms, int& status) {
    if (descriptor >= 0) {
        pollfd watch{descriptor, POLLIN, 0};
        ::poll(&watch, 1, ms);
    }
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno == ECHILD)) {
        return true;
    }
    if (descriptor < 0) {
        ::usleep(static_cast<useconds_t>(std::min(ms, 20)) * 1000);
    }
    return false;
}

}  // namespace

CommandResult PlatformCommandRunner::run(const std::vector<std::string>& arguments,
                                         std::chrono::milliseconds limit,
                                         const std::string& output_path,
                                         const std::atomic<bool>& cancelled) {
    CommandResult result;
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    Attributes attributes;
    FileActions actions(output_path);
    pid_t pid = 0;
    const int spawned =
        ::posix_spawnp(&pid, argv[0], actions.get(), attributes.get(), argv.data(), environ);
    if (spawned != 0) {
        result.failure = arguments[0] + " cannot be started: " + std::strerror(spawned);
        return result;
    }
    const int descriptor = process_descriptor(pid);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (!ended(pid, descriptor, kLookMs, status)) {
        result.cancelled = cancelled;
        result.timed_out = std::chrono::steady_clock::now() >= deadline;
        if (result.cancelled || result.timed_out) {
            // It and all it started.
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
    }
    if (descriptor >= 0) {
        ::close(descriptor);
    }
    if (!result.timed_out && !result.cancelled) {
        if (WIFEXITED(status)) {
            result.exit_code = WEXITSTATUS(status);
            // posix_spawnp reports a program it cannot run as exit 127.
        } else if (WIFSIGNALED(status)) {
            result.failure = "ended by signal " + std::to_string(WTERMSIG(status));
        }
    }
    result.last_line = last_line_of(output_path);
    return result;
}

}  // namespace taperly
