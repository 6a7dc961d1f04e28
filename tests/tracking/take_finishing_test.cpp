#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "tracker_fixture.h"
#include "tracking/file_name_limits.h"
#include "tracking/take_naming.h"

namespace taperly {
namespace {

struct NamingCase {
    const char* name;
    std::function<void(TakeState&)> during_take;
    std::string file_name;
    // The name keeps characters that some systems' file names refuse.
    bool keeps_refused = false;
    // The take ends a second before midnight, and the day has changed by the
    // time the recorder has stopped.
    bool ends_before_midnight = false;
};

class FinishTake : public testing::TrackerTest, public ::testing::WithParamInterface<NamingCase> {
  protected:
    void SetUp() override { clock.time = "9:05:31 PM"; }
};

TEST_P(FinishTake, NamesTheTakeFromWhatTheScannerReported) {
    if (GetParam().keeps_refused && !refused_name_characters(folder.path()).empty()) {
        GTEST_SKIP() << "this system refuses them; windows_names_test.cpp has what they become";
    }
    recorder.mode = kModeRecording;
    tracker.state().Label7 = "9:05:07 PM";
    GetParam().during_take(tracker.state());
    if (GetParam().ends_before_midnight) {
        clock.time = "11:59:59 PM";
        recorder.on_order = [this](const std::string& order) {
            if (order == "stop") {
                clock.time = "12:00:00 AM";
                clock.date = {2026, 12, 6};
            }
        };
    }
    tracker.finish_take();
    EXPECT_EQ(recorder.FileName(), GetParam().file_name);
    EXPECT_EQ(recorder.saved, std::vector<std::string>{GetParam().file_name});
}

const std::string kTimes = "_9-05-07-PM_9-05-31-PM_12-05-2026.wav";

INSTANTIATE_TEST_SUITE_P(
    Names, FinishTake,
    ::testing::Values(
        NamingCase{"four_display_fields",
                   [](TakeState& s) {
                       s.scan_system1 = "Metro Fire";
                       s.scan_system2 = "Metro EMS";
                       s.scan_group1 = "Dispatch 1";
                       s.scan_group2 = "Tac/2";
                   },
                   "Metro-Fire_Metro-EMS_Dispatch-1_Tac-2" + kTimes},
        NamingCase{"three_display_fields",
                   [](TakeState& s) {
                       s.scan_system1 = "Metro Fire";
                       s.scan_group1 = "Dispatch 1";
                   },
                   "Metro-Fire_-_Dispatch-1" + kTimes},
        NamingCase{"identity_names_win",
                   [](TakeState& s) {
                       s.scan_system1 = "Metro Fire";
                       s.gid_system_name = "State Net";
                       s.gid_group_name = "North Area";
                       s.gid_tg_name = "Ops: Main";
                   },
                   "State-Net_North-Area_Ops--Main" + kTimes},
        NamingCase{"question_mark_group2_selects_three_fields",
                   [](TakeState& s) {
                       s.scan_system1 = "A";
                       s.scan_group1 = "B";
                       s.scan_group2 = "?";
                   },
                   "A_-_B" + kTimes},
        NamingCase{"unsafe_characters",
                   [](TakeState& s) {
                       s.scan_system1 = "a/b\\c:d*e?f\"g";
                       s.scan_group1 = "<x>|_y";
                   },
                   "a-b-c-d-e-f-g_-_<x>|_y" + kTimes, true},
        NamingCase{"three_space_system_name",
                   [](TakeState& s) {
                       s.gid_system_name = "   ";
                       s.gid_group_name = "G";
                       s.gid_tg_name = "T";
                   },
                   "---_G_T" + kTimes},
        NamingCase{"empty_group_and_talkgroup",
                   [](TakeState& s) { s.gid_system_name = "State Net"; }, "State-Net__" + kTimes},
        NamingCase{"control_characters_become_hyphens",
                   [](TakeState& s) {
                       s.scan_system1 = std::string("a\0b\nc\x7f", 6);
                       s.scan_group1 = "\r\t";
                   },
                   "a-b-c-_-_--" + kTimes},
        NamingCase{"latin1_encoded_as_utf8",
                   [](TakeState& s) {
                       s.gid_system_name = "Z\xFCrich";
                       s.gid_tg_name =
                           "\xC9"
                           "cole";
                   },
                   "Z\xC3\xBCrich__\xC3\x89"
                   "cole" +
                       kTimes},
        NamingCase{"leading_dot_becomes_a_hyphen",
                   [](TakeState& s) { s.scan_system1 = ".taperly-take-x"; },
                   "-taperly-take-x_-_-" + kTimes},
        NamingCase{"dots_after_the_first_character_stay",
                   [](TakeState& s) { s.gid_system_name = "..A.B"; }, "-.A.B__" + kTimes},
        NamingCase{"date_of_the_end_time_reading", [](TakeState& s) { s.scan_system1 = "A"; },
                   "A_-_-_9-05-07-PM_11-59-59-PM_12-05-2026.wav", false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FinishTake, WithNoTakeInProgressGivesTheIdleNameAndClearsAgain) {
    tracker.finish_take();
    EXPECT_EQ(recorder.FileName(), "-_-_-_-_9-05-31-PM_12-05-2026.wav");
    EXPECT_EQ(recorder.orders(), (std::vector<std::string>{"stop", "save", "close"}));
    EXPECT_EQ(tracker.state(), TakeState{});
}

TEST_F(FinishTake, TimesAreTakenBeforeStopAndTheNameWrittenBeforeTheExistenceTest) {
    tracker.finish_take();
    EXPECT_EQ(recorder.log,
              (std::vector<std::string>{"stop", "FileName=-_-_-_-_9-05-31-PM_12-05-2026.wav",
                                        "save", "close"}));
}

TEST_F(FinishTake, TwentyFourHourClockHasNoDayHalf) {
    clock.time = "21:05:31";
    tracker.state().Label7 = "21:05:07";
    tracker.state().scan_system1 = "A";
    tracker.finish_take();
    EXPECT_EQ(recorder.FileName(), "A_-_-_21-05-07_21-05-31_12-05-2026.wav");
}

TEST_F(FinishTake, TakeAcrossMidnightCarriesTheDateOfItsEnd) {
    tracker.state().Label7 = "11:59:58 PM";
    clock.time = "12:00:03 AM";
    clock.date = {2027, 1, 1};
    tracker.finish_take();
    EXPECT_EQ(recorder.FileName(), "-_-_-_11-59-58-PM_12-00-03-AM_01-01-2027.wav");
}

TEST_F(FinishTake, ExistingFileIsNotSavedOverAndKeepsItsBytes) {
    const std::string name = "A_-_-_9-05-07-PM_9-05-31-PM_12-05-2026.wav";
    folder.write(name, "first take");
    tracker.state().Label7 = "9:05:07 PM";
    tracker.state().scan_system1 = "A";
    tracker.finish_take();
    EXPECT_EQ(recorder.orders(), (std::vector<std::string>{"stop", "close"}));
    EXPECT_EQ(folder.read(name), "first take");
    EXPECT_EQ(tracker.state(), TakeState{});
}

TEST_F(FinishTake, CleansTheStateFieldsInPlaceThenClearsEveryField) {
    TakeState& s = tracker.state();
    s.scan_system1 = "a b";
    s.gotSystem1 = s.GotSystem2 = s.GotGroup1 = s.GotGroup2 = "1";
    s.gid_tg_id = "1234";
    s.Label7 = "9:05:07 PM";
    s.Label1 = "INCC";
    tracker.finish_take();
    EXPECT_EQ(s, TakeState{});
}

TEST_F(FinishTake, ACallLongerThanATakeGoesOnInTakesNamedByTheirOwnTimes) {
    using std::chrono::milliseconds;
    testing::FakeTakeLog log;
    tracker.set_take_log(&log);
    tracker.set_longest_take(std::chrono::minutes(1));
    clock.time = "9:05:07 PM";
    receive(testing::status_reply("Metro Fire", "Dispatch 1", "0"));
    clock.steady = milliseconds(59999);
    receive(testing::status_reply("Metro Fire", "Dispatch 1", "0"));
    EXPECT_FALSE(tracker.take_split());
    clock.steady = milliseconds(60000);
    clock.time = "9:06:07 PM";
    clock.wall.minute = 6;
    receive(testing::status_reply("Metro Fire", "Dispatch 1", "0"));
    const std::string first = "Metro-Fire_-_Dispatch-1_9-05-07-PM_9-06-07-PM_12-05-2026.wav";
    EXPECT_EQ(std::count(recorder.log.begin(), recorder.log.end(),
                         "split, saving " + first + ", on from 9-06-07-PM_12-05-2026"),
              1);
    EXPECT_TRUE(tracker.take_split());
    EXPECT_EQ(tracker.state().Label7, "9:06:07 PM");
    EXPECT_EQ(tracker.state().scan_system1, "Metro Fire") << "cleaned while the call goes on";

    clock.time = "9:06:30 PM";
    clock.wall.second = 30;
    receive(testing::status_reply("Metro Fire", "Dispatch 1", "1"));
    const std::string last = "Metro-Fire_-_Dispatch-1_9-06-07-PM_9-06-30-PM_12-05-2026.wav";
    EXPECT_EQ(recorder.saved, std::vector<std::string>{last});
    EXPECT_FALSE(tracker.take_split());

    // Each part has its row, with its own times; only the last says how the call ended.
    ASSERT_EQ(log.entries.size(), 2u);
    const auto row = [](const TakeLogEntry& entry) { return take_log_row(entry); };
    EXPECT_EQ(row(log.entries[0]), "2026-12-05T21:05:07-05:00,2026-12-05T21:06:07-05:00,1.000," +
                                       first + ",split,,,,Metro Fire,Dispatch 1,-6.0,,,\r\n");
    EXPECT_EQ(row(log.entries[1]), "2026-12-05T21:06:07-05:00,2026-12-05T21:06:30-05:00,1.000," +
                                       last + ",saved,,,,Metro Fire,Dispatch 1,-6.0,,,\r\n");
}

TEST(ComposeTakeName, OverlongTextsAreShortenedLongestFirstKeepingTimesAndDate) {
    const std::string tail = "9-05-07-PM_9-05-31-PM_12-05-2026.wav";
    const std::string name =
        compose_take_name({std::string(300, 'a'), "short", std::string(200, '\xE9')}, "9-05-07-PM",
                          "9-05-31-PM", "12-05-2026");
    EXPECT_LE(name.size(), kMaxFileNameBytes);
    EXPECT_GE(name.size(), kMaxFileNameBytes - 1);  // a two-byte letter may not fit exactly
    EXPECT_EQ(name.substr(name.size() - tail.size()), tail);
    EXPECT_NE(name.find("_short_"), std::string::npos);
    // Shortening never cuts a two-byte letter in half.
    const std::string third = name.substr(name.find("_short_") + 7);
    EXPECT_EQ(third.find("\xC3\xA9"), 0u);
    EXPECT_EQ((third.size() - tail.size() - 1) % 2, 0u);
}

TEST(ComposeTakeName, NameThatFitsIsLeftWhole) {
    const std::string texts(200, 'a');
    EXPECT_EQ(compose_take_name({texts}, "s", "e", "d"), texts + "_s_e_d.wav");
}

}  // namespace
}  // namespace taperly
