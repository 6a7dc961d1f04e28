#include "recorder/capture/capture_dating.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace taperly {
namespace {

using Clock = CaptureDating::Clock;
using std::chrono::milliseconds;

struct Arrival {
    // Frames that arrived (at 1000 a second), or -1: the stream lost some.
    int frames;
    long long at_ms;
};

struct DatingRow {
    const char* name;
    std::vector<Arrival> arrivals;
    long long newest_ms;
};

void PrintTo(const DatingRow& row, std::ostream* out) {
    *out << row.name;
}

class DatingTable : public ::testing::TestWithParam<DatingRow> {};

TEST_P(DatingTable, TheNewestFrameIsDatedByTheSoonestArrival) {
    CaptureDating dating(1000);
    for (const Arrival& arrival : GetParam().arrivals) {
        if (arrival.frames < 0) {
            dating.restart();
        } else {
            dating.arrived(static_cast<std::size_t>(arrival.frames),
                           Clock::time_point(milliseconds(arrival.at_ms)));
        }
    }
    EXPECT_EQ(std::chrono::duration_cast<milliseconds>(dating.newest().time_since_epoch()).count(),
              GetParam().newest_ms);
}

INSTANTIATE_TEST_SUITE_P(
    Arrivals, DatingTable,
    ::testing::Values(
        DatingRow{"OnePieceIsDatedByItsArrival", {{100, 1000}}, 1000},
        DatingRow{"APieceThatWaitedMovesNothing", {{100, 1000}, {100, 1300}}, 1100},
        DatingRow{"ASoonerArrivalIsLearnt", {{100, 1050}, {100, 1100}}, 1100},
        DatingRow{"ArrivalsOlderThanTenSecondsAreForgotten", {{100, 1000}, {11000, 12500}}, 12500},
        DatingRow{"LostFramesStartTheCountAfresh", {{100, 1000}, {-1, 0}, {50, 2000}}, 2000}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace taperly
