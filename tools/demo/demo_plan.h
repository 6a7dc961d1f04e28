#pragma once

#include <string>
#include <vector>

#include "tools/simulator/scenario.h"

namespace taperly::demo {

// One transmission the scenario plays: a run of heard moments with the same
// names, as the simulator counts receptions.
struct PlannedCall {
    double seconds = 0.0;
    sim::Identity identity;
};

// What the driver needs to know of a scenario: its calls in order, the
// display of its last moment (seen in the mirror once the scenario is over)
// and how long it plays.
struct DemoPlan {
    std::vector<PlannedCall> calls;
    std::string last_line1;
    std::string last_line2;
    double total_seconds = 0.0;
    bool has_quick_save_prompt = false;
    bool has_press_any_key_prompt = false;
};

// Throws sim::ScenarioError when the scenario cannot be read or has no
// moment whose display could tell its end.
DemoPlan plan_demo(const std::vector<sim::Step>& steps);

}  // namespace taperly::demo
