// How fast the output is given sound, whatever it asks for: the second it
// holds at once, then no faster than the clock says it is heard.
#include <gtest/gtest.h>

#include <vector>

#include "playback/output_pace.h"

namespace taperly {
namespace {

struct Ask {
    int at_ms;
    // "restart" (-1) or the room the output says it has.
    long room;
    long allowed;
    // What the clock says is still to be heard of all given, after.
    long unheard;
};

struct PaceRow {
    const char* what;
    std::vector<Ask> asks;
};

void PrintTo(const PaceRow& row, std::ostream* out) {
    *out << row.what;
}

constexpr long kRestart = -1;

class PaceRules : public ::testing::TestWithParam<PaceRow> {};

// At 1000 frames a second, a second ahead; all that is allowed is given.
TEST_P(PaceRules, Hold) {
    OutputPace pace(1.0);
    const auto start = OutputPace::Clock::time_point{} + std::chrono::hours(1);
    pace.restart(1000, start);
    for (const Ask& ask : GetParam().asks) {
        const auto now = start + std::chrono::milliseconds(ask.at_ms);
        if (ask.room == kRestart) {
            pace.restart(1000, now);
            continue;
        }
        const long allowed = pace.allowed(ask.room, now);
        EXPECT_EQ(allowed, ask.allowed) << "at " << ask.at_ms << " ms";
        pace.given(allowed);
        EXPECT_EQ(pace.unheard(now), ask.unheard) << "at " << ask.at_ms << " ms";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, PaceRules,
    ::testing::Values(
        PaceRow{"an output that asks for minutes at once is given a second, then as it is heard",
                {{0, 2'000'000, 1000, 1000},
                 {0, 2'000'000, 0, 1000},
                 {50, 2'000'000, 50, 1000},
                 {1050, 2'000'000, 1000, 1000}}},
        PaceRow{"an output with less room is given what it has room for, the rest later",
                {{0, 300, 300, 300}, {100, 900, 800, 1000}, {600, 900, 501, 1000}}},
        PaceRow{"a minute of a full output (or a pause) adds no more than the second",
                {{0, 1000, 1000, 1000}, {60'000, 5000, 1000, 1000}}},
        PaceRow{"an output that dropped what it held is given the second at once again",
                {{0, 1000, 1000, 1000}, {10, kRestart, 0, 0}, {10, 5000, 1000, 1000}}},
        PaceRow{"an output that says it has no room, or less than none, is given nothing",
                {{0, 0, 0, 0}, {0, -5, 0, 0}, {0, 700, 700, 700}}},
        PaceRow{"what was given is heard as the clock goes, and no more than it was",
                {{0, 1000, 1000, 1000}, {400, 0, 0, 599}, {1000, 0, 0, 0}, {2000, 0, 0, 0}}}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) {
                c = '_';
            }
        }
        return name;
    });

}  // namespace
}  // namespace taperly
