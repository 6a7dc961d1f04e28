#include "tools/demo/simulator_child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace taperly::demo {

namespace {

// The first line the child writes, or "" when none comes within the limit.
std::string read_first_line(int fd, std::chrono::milliseconds limit) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd watched{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&watched, 1, static_cast<int>(left.count())) <= 0) {
            return {};
        }
        char bytes[256];
        const ssize_t count = ::read(fd, bytes, sizeof bytes);
        if (count <= 0) {
            return {};
        }
        line.append(bytes, static_cast<std::size_t>(count));
    }
    return line.substr(0, line.find('\n'));
}

std::string file_text(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace

SimulatorChild::SimulatorChild(const std::string& executable, std::vector<std::string> arguments,
                               const std::string& error_file) {
    arguments.insert(arguments.begin(), executable);
    arguments.push_back("--print-path");
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot make a pipe for the simulator");
    }
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ < 0) {
        ::close(output[0]);
        ::close(output[1]);
        throw std::runtime_error("cannot start the simulator");
    }
    if (pid_ == 0) {
        // Only calls that are safe between fork and exec from here on.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) {
            ::_exit(126);
        }
        // The demo's Ctrl-C is for the driver, which ends the simulator itself.
        ::signal(SIGINT, SIG_IGN);
        const int errors = ::open(error_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(output[1], STDOUT_FILENO);
        if (errors >= 0) {
            ::dup2(errors, STDERR_FILENO);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(output[1]);
    line_path_ = read_first_line(output[0], std::chrono::seconds(10));
    ::close(output[0]);
    if (line_path_.empty()) {
        stop();
        throw std::runtime_error("the scanner simulator did not start: " + file_text(error_file));
    }
}

SimulatorChild::~SimulatorChild() {
    stop();
}

bool SimulatorChild::running() {
    return pid_ > 0 && !reap(0);
}

bool SimulatorChild::reap(int wait_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_ || done < 0) {
            pid_ = -1;
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void SimulatorChild::stop() {
    if (pid_ <= 0 || reap(0)) {
        return;
    }
    ::kill(pid_, SIGTERM);
    if (!reap(5000)) {
        ::kill(pid_, SIGKILL);
        reap(5000);
    }
}

}  // namespace taperly::demo
