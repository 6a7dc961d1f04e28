#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <system_error>

#include "tools/simulator/command_log.h"
#include "tools/simulator/device_link.h"
#include "tools/simulator/line_session.h"
#include "tools/simulator/pseudo_terminal.h"
#include "tools/simulator/scenario.h"
#include "tools/simulator/sim_options.h"
#include "tools/simulator/timeline.h"

using namespace taperly::sim;

int main(int argc, char** argv) {
    SimOptions options;
    try {
        options = parse_sim_options(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& error) {
        std::cerr << "taperly-scanner-sim: " << error.what() << " (see --help)\n";
        return 2;
    }
    if (options.help) {
        std::cout << kSimHelp;
        return 0;
    }
    std::ifstream file(options.scenario_path, std::ios::binary);
    if (!file) {
        std::cerr << "taperly-scanner-sim: cannot read " << options.scenario_path << "\n";
        return 2;
    }
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::vector<Step> steps;
    try {
        steps = parse_scenario(text);
    } catch (const ScenarioError& error) {
        std::cerr << "taperly-scanner-sim: " << options.scenario_path << ": " << error.what()
                  << "\n";
        return 2;
    }
    // A reader that goes away must not end the simulator by a signal.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        CommandLog log(options.log_path);
        PseudoTerminal terminal;
        DeviceLink link(options.link_path);
        link.point_at(terminal.slave_path());
        if (options.print_path) {
            std::cout << link.name_for(terminal.slave_path()) << std::endl;
        }
        std::cerr << "taperly-scanner-sim: playing " << options.scenario_path << " on "
                  << terminal.slave_path() << " at " << options.bits_per_second << " bit/s\n";
        Timeline timeline(std::move(steps), options.loop);
        LineSession session(terminal, link, timeline, log, options.bits_per_second,
                            options.start_now);
        return session.run();
    } catch (const std::system_error& error) {
        std::cerr << "taperly-scanner-sim: " << error.what() << "\n";
        return 1;
    }
}
