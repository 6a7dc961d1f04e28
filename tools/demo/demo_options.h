#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace taperly::demo {

// How taperly-demo is started; the defaults are the build's own files.
struct DemoOptions {
    std::string simulator;
    std::string scenario;
    std::string takes;
    std::string screenshot;
    std::string help_page;
    int speed = 38400;
    // Leave the window open, running, after the report.
    bool stay = false;
    bool help = false;
};

extern const char* const kDemoUsage;

// Throws std::invalid_argument naming what is wrong.
DemoOptions parse_demo_options(const std::vector<std::string>& arguments);

}  // namespace taperly::demo
