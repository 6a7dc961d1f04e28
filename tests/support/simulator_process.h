#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_folder.h"

namespace taperly::testing {

// How a scanner simulator is started; see taperly-scanner-sim --help.
struct SimulatorSettings {
    std::string scenario;
    int bits_per_second = 9600;
    bool loop = false;
    bool start_now = false;
    // Empty: a file in the simulator's own temporary folder.
    std::string log_path;
    // Empty: no link; otherwise the line is known by this link to its device.
    std::string link_path;
#ifdef TAPERLY_SCANNER_SIM
    std::string executable = TAPERLY_SCANNER_SIM;
#else
    std::string executable;
#endif
};

// Checks `condition` until it holds or `limit` has passed, calling `between`
// in between (by default a short nap; Qt tests pass a turn of the event loop).
template <typename Condition, typename Between>
bool wait_until(Condition condition, std::chrono::milliseconds limit, Between between) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return condition();
        }
        between();
    }
    return true;
}

template <typename Condition>
bool wait_until(Condition condition, std::chrono::milliseconds limit) {
    return wait_until(condition, limit,
                      [] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); });
}

// A running taperly-scanner-sim: started with a scenario, its line's device
// path read from its first line of output, stopped when this goes away (and
// by the system should the test process die first).
class SimulatorProcess {
  public:
    explicit SimulatorProcess(SimulatorSettings settings) : settings_(std::move(settings)) {
        if (settings_.executable.empty()) {
            throw std::runtime_error("no simulator executable given");
        }
        folder_.write("scenario.txt", settings_.scenario);
        log_path_ = settings_.log_path.empty() ? folder_.file("commands.log") : settings_.log_path;
        start();
        slave_path_ = read_first_line(std::chrono::seconds(10));
        if (slave_path_.empty()) {
            const std::string errors = error_output();
            stop();
            throw std::runtime_error("the simulator did not name its line: " + errors);
        }
    }
    ~SimulatorProcess() { stop(); }
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    const std::string& slave_path() const { return slave_path_; }
    const std::string& log_path() const { return log_path_; }
    pid_t pid() const { return pid_; }
    // What the simulator wrote to standard error so far.
    std::string error_output() const { return folder_.read("stderr.txt"); }

    // Makes COM port `port_number` name this simulator's line.
    void point_com_port(int port_number) const {
        ::setenv(("TAPERLY_COM" + std::to_string(port_number)).c_str(), slave_path_.c_str(), 1);
    }

    // The commands logged so far, escaped as the log writes them ("STS\r"),
    // without their timestamps.
    std::vector<std::string> logged_commands() const {
        std::vector<std::string> commands;
        std::ifstream log(log_path_, std::ios::binary);
        std::string line;
        while (std::getline(log, line)) {
            const auto blank = line.find(' ');
            if (blank != std::string::npos) {
                commands.push_back(line.substr(blank + 1));
            }
        }
        return commands;
    }

    // Sends `signal` to the simulator if it still runs.
    void kill(int signal = SIGTERM) {
        if (pid_ > 0 && !exit_status_) {
            ::kill(pid_, signal);
        }
    }

    // The exit status once the simulator has ended, none while it runs.
    std::optional<int> exit_status() {
        if (pid_ > 0 && !exit_status_) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
        }
        return exit_status_;
    }

    std::optional<int> wait_for_exit(std::chrono::milliseconds limit) {
        wait_until([this] { return exit_status().has_value(); }, limit);
        return exit_status();
    }

  private:
    void start() {
        int output[2];
        if (::pipe2(output, O_CLOEXEC) != 0) {
            throw std::runtime_error("cannot make a pipe for the simulator");
        }
        const std::string scenario = folder_.file("scenario.txt");
        const std::string errors = folder_.file("stderr.txt");
        const std::string speed = std::to_string(settings_.bits_per_second);
        std::vector<std::string> arguments{
            settings_.executable, "--scenario", scenario, "--speed", speed, "--log", log_path_,
            "--print-path"};
        if (settings_.loop) {
            arguments.push_back("--loop");
        }
        if (settings_.start_now) {
            arguments.push_back("--start-now");
        }
        if (!settings_.link_path.empty()) {
            arguments.insert(arguments.end(), {"--link", settings_.link_path});
        }
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
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
            const int error_file = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(output[1], STDOUT_FILENO);
            if (error_file >= 0) {
                ::dup2(error_file, STDERR_FILENO);
            }
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(output[1]);
        output_ = output[0];
    }

    std::string read_first_line(std::chrono::milliseconds limit) {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (line.find('\n') == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd watched{output_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&watched, 1, static_cast<int>(left.count())) <= 0) {
                return {};
            }
            char bytes[256];
            const ssize_t count = ::read(output_, bytes, sizeof bytes);
            if (count <= 0) {
                return {};
            }
            line.append(bytes, static_cast<std::size_t>(count));
        }
        return line.substr(0, line.find('\n'));
    }

    void stop() {
        if (output_ >= 0) {
            ::close(output_);
            output_ = -1;
        }
        if (pid_ > 0 && !exit_status()) {
            kill(SIGTERM);
            if (!wait_for_exit(std::chrono::seconds(5))) {
                kill(SIGKILL);
                wait_for_exit(std::chrono::seconds(5));
            }
        }
    }

    SimulatorSettings settings_;
    TempFolder folder_;
    std::string log_path_;
    std::string slave_path_;
    pid_t pid_ = -1;
    int output_ = -1;
    std::optional<int> exit_status_;
};

}  // namespace taperly::testing
