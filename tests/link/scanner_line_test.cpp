#include "link/scanner_line.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "link/link_error.h"
#include "support/fakes.h"

namespace taperly {
namespace {

using State = ScannerLine::State;
using testing::FakeClock;
using testing::FakePort;

struct LineCase {
    const char* name;
    // "open", "open unattended", "lost", "lost: <reason>", "answered",
    // "retry", "close", "wait <ms>", and "refuse" or "accept" for the
    // port's next attempts.
    std::vector<std::string> steps;
    State state;
    bool port_open;
    int opens;
    std::string lost_reason;
    std::string last_attempt_error;
    bool has_been_open;
    bool open_threw = false;
};

void PrintTo(const LineCase& c, std::ostream* out) {
    *out << c.name;
}

class ScannerLineLife : public ::testing::TestWithParam<LineCase> {};

TEST_P(ScannerLineLife, EndsWhereItsStepsLeadIt) {
    FakePort port;
    FakeClock clock;
    ScannerLine line(port);
    bool open_threw = false;
    for (const std::string& step : GetParam().steps) {
        if (step == "open") {
            try {
                line.open("3", "19200");
            } catch (const LinkError&) {
                open_threw = true;
            }
        } else if (step == "open unattended") {
            line.open_or_keep_trying("3", "19200", clock.steady_time());
        } else if (step == "lost") {
            line.lost("unplugged", clock.steady_time());
        } else if (step.rfind("lost: ", 0) == 0) {
            line.lost(step.substr(6), clock.steady_time());
        } else if (step == "answered") {
            line.keep_trying();
        } else if (step == "retry") {
            line.retry(clock.steady_time());
        } else if (step == "close") {
            line.close();
        } else if (step.rfind("wait ", 0) == 0) {
            clock.steady += std::chrono::milliseconds(std::stoi(step.substr(5)));
        } else if (step == "refuse" || step == "accept") {
            port.fail_open = step == "refuse";
        } else {
            FAIL() << "no such step: " << step;
        }
    }
    const LineCase& c = GetParam();
    EXPECT_EQ(line.state(), c.state);
    EXPECT_EQ(port.is_open(), c.port_open);
    EXPECT_EQ(port.opens, c.opens);
    EXPECT_EQ(line.lost_reason(), c.lost_reason);
    EXPECT_EQ(line.last_attempt_error(), c.last_attempt_error);
    EXPECT_EQ(line.has_been_open(), c.has_been_open);
    EXPECT_EQ(open_threw, c.open_threw);
    if (c.port_open) {
        EXPECT_EQ(port.opened_port, 3);
        EXPECT_EQ(port.opened_speed, 19200);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lives, ScannerLineLife,
    ::testing::Values(
        LineCase{"opens", {"open"}, State::kOpen, true, 1, "", "", true},
        LineCase{"refused_with_someone_there_throws_and_stays_closed",
                 {"refuse", "open", "wait 5000", "retry"},
                 State::kClosed,
                 false,
                 1,
                 "",
                 "",
                 false,
                 true},
        LineCase{"refused_unattended_is_tried_a_pace_later",
                 {"refuse", "open unattended", "accept", "wait 999", "retry", "wait 1", "retry"},
                 State::kOpen,
                 true,
                 2,
                 "",
                 "",
                 true},
        LineCase{"refused_unattended_keeps_its_reason_while_tried",
                 {"refuse", "open unattended", "wait 1000", "retry"},
                 State::kRetrying,
                 false,
                 2,
                 "cannot open",
                 "cannot open",
                 false},
        LineCase{"lost_closes_the_port_and_waits_for_an_answer",
                 {"open", "lost", "retry"},
                 State::kLost,
                 false,
                 1,
                 "unplugged",
                 "",
                 true},
        LineCase{"later_failures_of_a_loss_keep_its_first_reason",
                 {"open", "lost", "lost: the port is not open", "answered"},
                 State::kRetrying,
                 false,
                 1,
                 "unplugged",
                 "",
                 true},
        LineCase{"answered_is_tried_at_once_then_each_pace",
                 {"open", "refuse", "wait 50", "lost", "answered", "retry", "wait 999", "retry",
                  "wait 1", "retry"},
                 State::kRetrying,
                 false,
                 3,
                 "unplugged",
                 "cannot open",
                 true},
        LineCase{"back_forgets_the_loss",
                 {"open", "lost", "answered", "refuse", "retry", "accept", "wait 1000", "retry"},
                 State::kOpen,
                 true,
                 3,
                 "",
                 "",
                 true},
        LineCase{"stop_while_retrying_ends_the_attempts",
                 {"open", "lost", "answered", "refuse", "retry", "close", "accept", "wait 5000",
                  "retry", "lost"},
                 State::kClosed,
                 false,
                 2,
                 "",
                 "",
                 false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace taperly
