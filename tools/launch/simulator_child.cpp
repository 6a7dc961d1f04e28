#include "tools/launch/simulator_child.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace taperly::launch {

namespace {

std::vector<std::string> simulator_arguments(const SimulatorStart& start) {
    if (start.executable.empty()) {
        throw std::runtime_error("no scanner simulator executable given");
    }
    std::vector<std::string> arguments{start.executable,
                                       "--scenario",
                                       start.scenario_path,
                                       "--speed",
                                       std::to_string(start.bits_per_second),
                                       "--log",
                                       start.log_path,
                                       "--print-path"};
    if (start.loop) {
        arguments.push_back("--loop");
    }
    if (start.start_now) {
        arguments.push_back("--start-now");
    }
    if (!start.link_path.empty()) {
        arguments.insert(arguments.end(), {"--link", start.link_path});
    }
    return arguments;
}

ChildOptions simulator_options(const SimulatorStart& start) {
    ChildOptions options;
    options.error_path = start.error_path;
    options.read_output = true;
    options.ignore_interrupt = start.ignore_interrupt;
    return options;
}

}  // namespace

SimulatorChild::SimulatorChild(const SimulatorStart& start)
    : error_path_(start.error_path),
      process_(simulator_arguments(start), simulator_options(start)) {
    if (!process_.started()) {
        throw std::runtime_error("cannot start the scanner simulator");
    }
    line_path_ = process_.read_line(std::chrono::seconds(10));
    if (line_path_.empty()) {
        const std::string errors = error_output();
        process_.stop();
        throw std::runtime_error("the scanner simulator did not name its line: " + errors);
    }
}

std::string SimulatorChild::error_output() const {
    std::ifstream file(error_path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace taperly::launch
