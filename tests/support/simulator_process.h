#pragma once

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "tools/launch/simulator_child.h"
#include "tools/launch/wait_until.h"

namespace taperly::testing {

using launch::wait_until;

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

// A running taperly-scanner-sim playing a scenario given as text, with its
// scenario, log and standard error in a temporary folder of its own.
class SimulatorProcess {
  public:
    explicit SimulatorProcess(const SimulatorSettings& settings)
        : log_path_(settings.log_path.empty() ? folder_.file("commands.log") : settings.log_path),
          simulator_(start_of(settings)) {}

    const std::string& slave_path() const { return simulator_.line_path(); }
    const std::string& log_path() const { return log_path_; }
    // What the simulator wrote to standard error so far.
    std::string error_output() const { return simulator_.error_output(); }

    // Makes COM port `port_number` name this simulator's line.
    void point_com_port(int port_number) const {
        ::setenv(("TAPERLY_COM" + std::to_string(port_number)).c_str(), slave_path().c_str(), 1);
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
    void kill(int signal = SIGTERM) { simulator_.process().send(signal); }

    // The exit status once the simulator has ended (128 and the signal for
    // one that a signal ended), none while it runs.
    std::optional<int> exit_status() {
        const std::optional<int> status = simulator_.process().wait_status();
        if (!status) {
            return std::nullopt;
        }
        return WIFEXITED(*status) ? WEXITSTATUS(*status) : 128 + WTERMSIG(*status);
    }

    std::optional<int> wait_for_exit(std::chrono::milliseconds limit) {
        simulator_.process().wait_for_exit(limit);
        return exit_status();
    }

  private:
    launch::SimulatorStart start_of(const SimulatorSettings& settings) const {
        folder_.write("scenario.txt", settings.scenario);
        launch::SimulatorStart start;
        start.executable = settings.executable;
        start.scenario_path = folder_.file("scenario.txt");
        start.bits_per_second = settings.bits_per_second;
        start.log_path = log_path_;
        start.error_path = folder_.file("stderr.txt");
        start.loop = settings.loop;
        start.start_now = settings.start_now;
        start.link_path = settings.link_path;
        return start;
    }

    TempFolder folder_;
    std::string log_path_;
    launch::SimulatorChild simulator_;
};

}  // namespace taperly::testing
