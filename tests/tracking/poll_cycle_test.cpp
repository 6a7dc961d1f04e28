#include <gtest/gtest.h>

#include <optional>
#include <ostream>

#include "link/link_error.h"
#include "tracker_fixture.h"
#include "tracking/poll_phase.h"

namespace taperly {
namespace {

using PollCycle = testing::TrackerTest;
using testing::status_reply;

TEST_F(PollCycle, SilenceStillAlternatesStatusAndIdentityRequests) {
    for (int i = 0; i < 5; ++i) {
        tracker.poll_tick();
    }
    EXPECT_EQ(port.written, "STS\rGID\rSTS\rGID\rSTS\r");
    EXPECT_EQ(tracker.dox(), "2");
}

// The phase is a text read as a whole number; one that is neither 1 nor 2
// sends nothing, and the phase goes back to 1.
TEST(PollPhase, IsReadAsANumber) {
    EXPECT_EQ(poll_phase_value(" 2.0 "), 2.0);
    EXPECT_EQ(poll_phase_value("1"), 1.0);
    for (const char* phase : {"3", "0", "", "abc", "1x"}) {
        const std::optional<double> value = poll_phase_value(phase);
        EXPECT_TRUE(value != 1.0 && value != 2.0) << phase;
    }
}

TEST_F(PollCycle, ErrorInAHandlerEndsTheFiringBeforeThePhaseSwitch) {
    port.fail_writes = true;
    port.arrive(status_reply("Quick Freq Save?", "x"));
    EXPECT_THROW(tracker.read_scanner_reply(), LinkError);
    EXPECT_EQ(tracker.dox(), "1");
}

TEST_F(PollCycle, FailedSendEndsTheFiringBeforeReading) {
    port.fail_writes = true;
    port.arrive(status_reply("Metro", "Fire"));
    EXPECT_THROW(tracker.poll_tick(), LinkError);
    EXPECT_EQ(port.arrivals.size(), 1u);
    EXPECT_EQ(tracker.dox(), "1");
}

TEST_F(PollCycle, StatusReplyArrivingInTwoReadsIsHandledOnceWhole) {
    const std::string reply = status_reply("Metro", "Fire", "0");
    receive(reply.substr(0, 50));
    EXPECT_TRUE(recorder.log.empty());
    receive(reply.substr(50));
    EXPECT_EQ(recorder.orders(), (std::vector<std::string>{"Open", "Record"}));
    EXPECT_EQ(tracker.state().scan_system1, "Metro");
    EXPECT_EQ(window.mirror, "Metro           \r\nFire            \r\n");
}

TEST_F(PollCycle, StatusAndIdentityInOneReadAreBothHandledInOrder) {
    receive(status_reply("Metro", "Fire", "0") + "GID,x,1234,y,Metro,Fire,Dispatch\r");
    EXPECT_EQ(recorder.orders(), (std::vector<std::string>{"Open", "Record"}));
    EXPECT_EQ(tracker.state().gid_tg_name, "Dispatch");
}

TEST_F(PollCycle, KeyAnswerAfterAnIdentityReplyStaysOutOfTheTalkgroupName) {
    receive("GID,x,1234,y,Metro,Fire,Dispatch\rKEY,OK\r");
    EXPECT_EQ(tracker.state().gid_tg_name, "Dispatch");
}

TEST_F(PollCycle, IncompleteTailNeverGrowsPastTheReceiveBuffer) {
    receive(std::string(3000, 'x'));
    EXPECT_EQ(tracker.partial_reply_size(), ReceptionTracker::kReceiveBufferSize);
    receive(std::string(600, 'y'));
    EXPECT_EQ(tracker.partial_reply_size(), ReceptionTracker::kReceiveBufferSize);
    // The garbage ends with the next carriage return; the reply after it counts.
    receive("\r" + status_reply("Metro", "Fire", "0"));
    EXPECT_EQ(tracker.partial_reply_size(), 0u);
    EXPECT_EQ(tracker.state().scan_system1, "Metro");
}

TEST_F(PollCycle, RepliesArrivingBetweenFiringsAreHandledWithoutSwitchingThePhase) {
    port.arrive("GID,x,1,y,Metro,Fire,Dispatch\r" +
                status_reply("Metro", "Fire", "0").substr(0, 30));
    tracker.handle_arrived_replies();
    EXPECT_EQ(tracker.state().gid_tg_name, "Dispatch");
    EXPECT_TRUE(recorder.log.empty());
    EXPECT_EQ(tracker.dox(), "1");
    EXPECT_TRUE(port.written.empty());
    receive(status_reply("Metro", "Fire", "0").substr(30));
    EXPECT_EQ(recorder.orders(), (std::vector<std::string>{"Open", "Record"}));
    EXPECT_EQ(tracker.dox(), "2");
}

TEST_F(PollCycle, ReplyWithFewerThanTwelveFieldsChangesNothing) {
    receive("STS,Metro,,Fire,,,,,,0,x\r");
    EXPECT_TRUE(recorder.log.empty());
    EXPECT_TRUE(window.titles.empty());
    EXPECT_EQ(window.mirror, "");
    EXPECT_EQ(tracker.state(), TakeState{});
}

TEST_F(PollCycle, FragmentsThatAreNotRepliesAreDropped) {
    receive(",0,3,0\rsts," + status_reply("a", "b").substr(4) + "xSTS,,,,,,,,,,0,,\r");
    EXPECT_TRUE(recorder.log.empty());
    EXPECT_TRUE(window.titles.empty());
}

TEST_F(PollCycle, QuietStatusRepliesTellTheRecorderWhenTheyLeftTheScanner) {
    tracker.set_line_speed(9600);
    clock.steady = SteadyTime(10000);
    const std::string quiet = status_reply("Metro", "Fire", "1");
    const std::string heard = status_reply("Metro", "Fire", "0");
    const auto on_line = [](const std::string& reply) {
        return SteadyTime(static_cast<long long>(reply.size()) * 10 * 1000 / 9600);
    };
    // Both in one read: the first came in before the second was on the line.
    receive(quiet + quiet);
    receive(heard);
    EXPECT_EQ(recorder.quiet_sent,
              (std::vector<SteadyTime>{SteadyTime(10000) - on_line(quiet) - on_line(quiet),
                                       SteadyTime(10000) - on_line(quiet)}));
}

TEST_F(PollCycle, EachReplyIsHandledOnceAndThePhaseFlipsOncePerFiring) {
    receive(status_reply("A", "B", "1") + status_reply("A", "B", "1"));
    EXPECT_EQ(recorder.orders(),
              (std::vector<std::string>{"stop", "save", "close", "stop", "save", "close"}));
    EXPECT_EQ(tracker.dox(), "2");
}

// After the status reply to the last status poll only the identity reply is
// to come, and it may wait unannounced; the next status poll asks for waking
// again before it is sent. A status reply that began before the last status
// poll answers an earlier one: the reply to come must wake the program.
struct HoldCase {
    const char* name;
    int since_poll_ms;
    std::string arrived;
    bool held;
    friend void PrintTo(const HoldCase& row, std::ostream* out) { *out << row.name; }
};

class ReplyHolding : public testing::TrackerTest, public ::testing::WithParamInterface<HoldCase> {};

TEST_P(ReplyHolding, OnlyAfterTheAnswerToTheLastStatusPoll) {
    tracker.set_line_speed(9600);
    clock.steady = SteadyTime(10000);
    tracker.poll_tick();
    clock.steady += SteadyTime(GetParam().since_poll_ms);
    // As the event loop hands it over between firings.
    port.arrive(GetParam().arrived);
    tracker.handle_arrived_replies();
    EXPECT_EQ(!port.waking, GetParam().held);
    tracker.poll_tick();
    tracker.poll_tick();
    EXPECT_TRUE(port.waking);
    EXPECT_EQ(port.line_log.back(), "STS");
    EXPECT_EQ(port.line_log[port.line_log.size() - 2], GetParam().held ? "(wake)" : "GID");
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyHolding,
    ::testing::Values(
        HoldCase{"StatusReplyWholeAfterItsPoll", 130, testing::status_reply("Metro", "Fire"), true},
        HoldCase{"StatusReplyBegunBeforeThePoll", 5, testing::status_reply("Metro", "Fire"), false},
        HoldCase{"IdentityReply", 130, "GID,x,1234,y,Metro,Fire,Dispatch\r", false},
        HoldCase{"StatusReplyAndTheStartOfAnother", 130,
                 testing::status_reply("Metro", "Fire") + "GID,x,12", false}),
    [](const ::testing::TestParamInfo<HoldCase>& info) { return info.param.name; });

}  // namespace
}  // namespace taperly
