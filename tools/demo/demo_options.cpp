#include "tools/demo/demo_options.h"

#include <array>

namespace taperly::demo {

const char* const kDemoUsage = R"(Usage: taperly-demo [options]

Builds Taperly's window, points COM port 1 at a scanner simulator playing a
scenario, chooses the port and a speed, presses Run, lets the scenario play
to its end, presses Stop and reports each take saved: file name, length,
level and pitch. Needs a sound server (scripts/run --demo starts a private
one). Exits 0 when every call became a take as it should.

Options:
  --scenario FILE     the scenario to play (default: the demo's own)
  --takes DIR         where takes are saved; emptied first if the demo made
                      it, otherwise it must be empty or new
  --screenshot FILE   where the picture of the window goes (PNG)
  --simulator PATH    the taperly-scanner-sim program
  --speed BPS         9600, 19200, 38400 or 57600 (default 38400)
  --stay              after the report, press Run again and leave the
                      window open until it is closed or Ctrl-C
  --help              show this text
)";

DemoOptions parse_demo_options(const std::vector<std::string>& arguments) {
    DemoOptions options{TAPERLY_DEMO_SIMULATOR, TAPERLY_DEMO_SCENARIO, TAPERLY_DEMO_TAKES,
                        TAPERLY_DEMO_SCREENSHOT, TAPERLY_DEMO_HELP_PAGE};
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        const std::string& option = arguments[at];
        auto value = [&]() -> const std::string& {
            if (at + 1 == arguments.size()) {
                throw std::invalid_argument(option + " needs a value");
            }
            return arguments[++at];
        };
        if (option == "--scenario") {
            options.scenario = value();
        } else if (option == "--takes") {
            options.takes = value();
        } else if (option == "--screenshot") {
            options.screenshot = value();
        } else if (option == "--simulator") {
            options.simulator = value();
        } else if (option == "--speed") {
            const std::string& speed = value();
            constexpr std::array<const char*, 4> kSpeeds{"9600", "19200", "38400", "57600"};
            bool known = false;
            for (const char* offered : kSpeeds) {
                known |= speed == offered;
            }
            if (!known) {
                throw std::invalid_argument("the window offers no speed " + speed);
            }
            options.speed = std::stoi(speed);
        } else if (option == "--stay") {
            options.stay = true;
        } else if (option == "--help" || option == "-h") {
            options.help = true;
        } else {
            throw std::invalid_argument("unknown option " + option);
        }
    }
    return options;
}

}  // namespace taperly::demo
