#include "tools/simulator/sim_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace taperly::sim {
namespace {

struct OptionsCase {
    const char* name;
    std::vector<std::string> arguments;
    // Empty when the arguments are accepted.
    std::string error;
    SimOptions expected;
};

class SimulatorOptions : public ::testing::TestWithParam<OptionsCase> {};

TEST_P(SimulatorOptions, AreReadOrRefused) {
    if (!GetParam().error.empty()) {
        try {
            parse_sim_options(GetParam().arguments);
            FAIL() << "accepted";
        } catch (const UsageError& error) {
            EXPECT_NE(std::string(error.what()).find(GetParam().error), std::string::npos)
                << error.what();
        }
        return;
    }
    const SimOptions options = parse_sim_options(GetParam().arguments);
    const SimOptions& expected = GetParam().expected;
    EXPECT_EQ(options.scenario_path, expected.scenario_path);
    EXPECT_EQ(options.bits_per_second, expected.bits_per_second);
    EXPECT_EQ(options.log_path, expected.log_path);
    EXPECT_EQ(options.print_path, expected.print_path);
    EXPECT_EQ(options.loop, expected.loop);
    EXPECT_EQ(options.start_now, expected.start_now);
    EXPECT_EQ(options.help, expected.help);
    EXPECT_EQ(options.link_path, expected.link_path);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, SimulatorOptions,
    ::testing::Values(
        OptionsCase{"ScenarioOnly",
                    {"--scenario", "s.txt"},
                    "",
                    {"s.txt", 9600, "", false, false, false, false, ""}},
        OptionsCase{"Everything",
                    {"--scenario", "s.txt", "--speed", "57600", "--log", "c.log", "--print-path",
                     "--loop", "--start-now", "--link", "/tmp/by-id/scanner"},
                    "",
                    {"s.txt", 57600, "c.log", true, true, true, false, "/tmp/by-id/scanner"}},
        OptionsCase{
            "HelpNeedsNoScenario", {"--help"}, "", {"", 9600, "", false, false, false, true, ""}},
        OptionsCase{"NoScenario", {"--speed", "9600"}, "--scenario", {}},
        OptionsCase{"ScenarioWithoutPath", {"--scenario"}, "needs a value", {}},
        OptionsCase{"SpeedZero", {"--scenario", "s", "--speed", "0"}, "\"0\"", {}},
        OptionsCase{"SpeedNotANumber", {"--scenario", "s", "--speed", "fast"}, "\"fast\"", {}},
        OptionsCase{"SpeedWithTail", {"--scenario", "s", "--speed", "9600bps"}, "\"9600bps\"", {}},
        OptionsCase{"UnknownOption", {"--scenario", "s", "--baud", "9600"}, "--baud", {}}),
    [](const ::testing::TestParamInfo<OptionsCase>& info) { return info.param.name; });

}  // namespace
}  // namespace taperly::sim
