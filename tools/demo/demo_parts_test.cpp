// The demo's own reckoning: the take names it predicts must be the names the
// tracker gives, or the file it places would not stand in a take's way; and
// the calls and end it reads from a scenario.
#include <gtest/gtest.h>

#include "support/fakes.h"
#include "tools/demo/demo_plan.h"
#include "tools/demo/take_prediction.h"
#include "tracking/reception_tracker.h"

namespace taperly::demo {
namespace {

struct NamingCase {
    const char* what;
    TakeState state;
    const char* end;
};

TakeState trunked(std::string system, std::string group, std::string talkgroup) {
    TakeState state;
    state.Label7 = "9:05:07 PM";
    state.gid_system_name = std::move(system);
    state.gid_group_name = std::move(group);
    state.gid_tg_name = std::move(talkgroup);
    return state;
}

TakeState conventional(std::string line1, std::string line2, std::string group2) {
    TakeState state;
    state.Label7 = "21:05:07";
    state.scan_system1 = std::move(line1);
    state.scan_group1 = std::move(line2);
    state.scan_group2 = std::move(group2);
    return state;
}

class PredictedName : public ::testing::TestWithParam<NamingCase> {};

TEST_P(PredictedName, IsTheNameTheTrackerSavesUnder) {
    testing::FakePort port;
    testing::FakeRecorder recorder;
    testing::FakeClock clock;
    testing::FakeWindow window;
    clock.time = GetParam().end;
    ReceptionTracker tracker(port, recorder, clock, window, "/nonexistent-demo-folder");
    tracker.state() = GetParam().state;

    tracker.finish_take();

    EXPECT_EQ(predict_take_name(GetParam().state, clock.time, clock.date), recorder.FileName());
}

INSTANTIATE_TEST_SUITE_P(
    Takes, PredictedName,
    ::testing::Values(
        NamingCase{"named", trunked("State Net", "North Area", "Ops"), "9:05:31 PM"},
        NamingCase{"unsafe", trunked("A/B: C", "D*E?", "\"F\\G\""), "9:05:31 PM"},
        NamingCase{"latin1", trunked("M\xfcnchen", "Nord", "Einsatz"), "9:05:31 PM"},
        NamingCase{"too_long", trunked(std::string(200, 'S'), std::string(90, 'G'), "T"),
                   "9:05:31 PM"},
        NamingCase{"display", conventional("County Fire", "Dispatch", "-"), "21:05:12"},
        NamingCase{"display_group2", conventional("County Fire", "Ch 1", "Main"), "21:05:12"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(SameIdentityNames, ComparesAllThreeNames) {
    const TakeState a = trunked("State Net", "North Area", "Ops");
    EXPECT_TRUE(same_identity_names(a, trunked("State Net", "North Area", "Ops")));
    EXPECT_FALSE(same_identity_names(a, trunked("State Net", "North Area", "Fire")));
    EXPECT_FALSE(same_identity_names(a, trunked("State Net", "South Area", "Ops")));
    EXPECT_FALSE(has_identity_names(conventional("County Fire", "Dispatch", "-")));
}

TEST(PlanDemo, CountsCallsTheirLengthsPromptsAndTheEnd) {
    const DemoPlan plan = plan_demo(
        sim::parse_scenario("2 | State Net | SCAN | no\n"
                            "3 | State Net | North Ops | yes | State Net | North | Ops | once\n"
                            "1.5 | State Net | North Ops | yes | State Net | North | Ops | once\n"
                            "2.5 | State Net | Fire | yes | State Net | North | Fire\n"
                            "1 | Quick Freq Save? | 154.43 | no\n"
                            "4 | County | Dispatch | yes\n"
                            "raw KEY,OK\\r\n"
                            "1 | Scan Locked | \" Press Any Key  \" | no\n"
                            "2 | End of Demo | Taperly | no\n"));

    ASSERT_EQ(plan.calls.size(), 3u);
    EXPECT_DOUBLE_EQ(plan.calls[0].seconds, 4.5);
    EXPECT_EQ(plan.calls[0].identity.talkgroup, "Ops");
    EXPECT_DOUBLE_EQ(plan.calls[1].seconds, 2.5);
    EXPECT_DOUBLE_EQ(plan.calls[2].seconds, 4.0);
    EXPECT_TRUE(plan.calls[2].identity.system.empty());
    EXPECT_DOUBLE_EQ(plan.total_seconds, 17.0);
    EXPECT_TRUE(plan.has_quick_save_prompt);
    EXPECT_TRUE(plan.has_press_any_key_prompt);
    EXPECT_EQ(plan.last_line1, "End of Demo");
    EXPECT_EQ(plan.last_line2, "Taperly");
}

TEST(PlanDemo, RefusesAScenarioThatEndsMidCallOrHasNoMoment) {
    EXPECT_THROW(plan_demo(sim::parse_scenario("2 | A | B | yes | S | G | T\n")),
                 sim::ScenarioError);
    EXPECT_THROW(plan_demo(sim::parse_scenario("# nothing\nraw X\n")), sim::ScenarioError);
}

}  // namespace
}  // namespace taperly::demo
