#include "bench/scenario_plan.h"

#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>

namespace taperly::bench {

namespace {

constexpr double kShortest = 0.3;
constexpr double kLongest = 20.0;
constexpr double kShortestGap = 1.0;
constexpr double kLongestGap = 5.0;

// An even draw in [0, 1) from the engine's raw output, which (unlike the
// standard distributions) is the same with every standard library.
double unit(std::mt19937_64& engine) {
    return static_cast<double>(engine() >> 11) * 0x1.0p-53;
}

// Milliseconds are plenty, and keep the simulator's sums and ours equal.
double rounded(double seconds) {
    return std::round(seconds * 1000.0) / 1000.0;
}

std::string seconds_text(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

}  // namespace

std::vector<Transmission> plan_transmissions(int count, std::uint64_t seed, double lead_in) {
    std::mt19937_64 engine(seed);
    std::vector<double> lengths;
    std::vector<double> gaps;
    for (int at = 0; at < count; ++at) {
        lengths.push_back(rounded(kShortest * std::pow(kLongest / kShortest, unit(engine))));
        gaps.push_back(rounded(kShortestGap + (kLongestGap - kShortestGap) * unit(engine)));
    }
    if (count >= 2) {
        lengths[static_cast<std::size_t>(count) / 4] = kShortest;
        lengths[static_cast<std::size_t>(count) / 2] = kLongest;
    }
    std::vector<Transmission> plan;
    double at = lead_in;
    for (int index = 0; index < count; ++index) {
        const auto i = static_cast<std::size_t>(index);
        plan.push_back({at, at + lengths[i]});
        at += lengths[i] + gaps[i];
    }
    return plan;
}

std::string scenario_text(const std::vector<Transmission>& plan, double tail) {
    std::ostringstream text;
    text << "# Written by taperly-bench-drive: quiet, then the planned transmissions.\n";
    double at = 0.0;
    int number = 0;
    for (const Transmission& t : plan) {
        ++number;
        if (t.start > at) {
            text << seconds_text(t.start - at) << " | Bench | SCAN | no\n";
        }
        char name[16];
        std::snprintf(name, sizeof name, "Call %02d", number);
        text << seconds_text(t.end - t.start) << " | Bench | " << name << " | yes | Bench | Area | "
             << name << "\n";
        at = t.end;
    }
    text << seconds_text(tail) << " | Bench | SCAN | no\n";
    return text.str();
}

std::string windows_text(const std::vector<Transmission>& plan) {
    std::ostringstream text;
    for (const Transmission& t : plan) {
        text << seconds_text(t.start) << " " << seconds_text(t.end) << "\n";
    }
    return text.str();
}

std::vector<Transmission> parse_windows(const std::string& text) {
    std::vector<Transmission> plan;
    std::istringstream in(text);
    Transmission t;
    while (in >> t.start >> t.end) {
        plan.push_back(t);
    }
    return plan;
}

}  // namespace taperly::bench
