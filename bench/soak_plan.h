#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench/scenario_plan.h"

namespace taperly::bench {

// A stretch in which Taperly could not record: the line unplugged, the
// sound server restarting. In seconds after the scenario's start.
struct Outage {
    double start = 0.0;
    double end = 0.0;
    std::string what;
};

// Transmissions for a soak of `seconds`: each 0.3 s to 5 s long, quiet gaps
// of 1.5 s to 2.5 s between, after a quiet lead-in. Repeatable by seed.
std::vector<Transmission> plan_soak(double seconds, std::uint64_t seed, double lead_in);

// The simulator's scenario: each transmission on a talkgroup of its own (so
// no two takes share a name), and the line unplugged at each `unplugs`
// stretch wherever it falls, during a call or between calls.
std::string soak_scenario_text(const std::vector<Transmission>& plan,
                               const std::vector<Outage>& unplugs, double end);

std::string outages_text(const std::vector<Outage>& outages);
std::vector<Outage> parse_outages(const std::string& text);

}  // namespace taperly::bench
