#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace taperly::bench {

// One simulated transmission, in seconds after the scenario's start.
struct Transmission {
    double start = 0.0;
    double end = 0.0;
};

// A repeatable run of `count` transmissions after a quiet lead-in: lengths
// from 0.3 s to 20 s drawn evenly on a logarithmic scale (so short calls,
// the usual case on a scanner, are the most common and the whole run stays
// a few minutes long), with the two extremes always among them; quiet gaps
// from 1 s to 5 s. The same seed gives the same run on any machine.
std::vector<Transmission> plan_transmissions(int count, std::uint64_t seed, double lead_in);

// The scanner simulator's scenario for `plan`: quiet, each transmission with
// its own talkgroup name, and quiet for `tail` seconds after the last.
std::string scenario_text(const std::vector<Transmission>& plan, double tail);

// One line "START END" per transmission: what the feed and the readers take.
std::string windows_text(const std::vector<Transmission>& plan);
std::vector<Transmission> parse_windows(const std::string& text);

}  // namespace taperly::bench
