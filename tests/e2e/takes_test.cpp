// A scenario of several takes played through the real window, serial line and
// recorder gives exactly the files it should, at the slowest and the fastest
// line speed.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "e2e/e2e_test.h"
#include "support/take_readers.h"

namespace taperly::e2e {
namespace {

using testing::TempFolder;

struct ExpectedTake {
    QDateTime start;
    QDateTime end;
    double span_seconds;  // the scenario's reception
    std::string name;
    // What the file says of itself, as ffprobe reads it.
    std::string title;
    std::string comment;
};

// Named by identity, by the display texts, by identity given only once per
// reception with characters a file name cannot hold, and by display texts
// that hold commas, which the scanner sends as they are.
const char* const kScenario =
    "0.4 | State Net | SCAN | no\n"
    "1.5 | State Net | \"Nord \\xC9st\" | yes | State Net | North Area | Ops\n"
    "0.8 | State Net | SCAN | no\n"
    "1.2 | County Fire | Dispatch | yes\n"
    "0.8 | State Net | SCAN | no\n"
    "1.0 | Metro | Tac 2 | yes | Metro | PD/Main | Tac:2 \"A\" | once\n"
    "0.8 | State Net | SCAN | no\n"
    "1.0 | Fire, EMS | Disp,1 | yes\n"
    "0.5 | State Net | SCAN | no\n";

const std::vector<ExpectedTake>& expected_takes() {
    static const std::vector<ExpectedTake> takes{
        {on_test_day(21, 5, 7), on_test_day(21, 5, 9), 1.5,
         "State-Net_North-Area_Ops_9-05-07-PM_9-05-09-PM_12-05-2026.wav", "Ops",
         "System: State Net; Group: North Area; Talkgroup: Ops; Display line 1: State Net; "
         "Display line 2: Nord \u00c9st"},
        {on_test_day(23, 59, 58), on_test_day(0, 0, 1).addDays(1), 1.2,
         "County-Fire_-_Dispatch_11-59-58-PM_12-00-01-AM_12-06-2026.wav", "County Fire",
         "Display line 1: County Fire; Display line 2: Dispatch"},
        {on_test_day(9, 0, 0).addDays(1), on_test_day(9, 0, 1).addDays(1), 1.0,
         "Metro_PD-Main_Tac-2--A-_9-00-00-AM_9-00-01-AM_12-06-2026.wav", "Tac:2 \"A\"",
         "System: Metro; Group: PD/Main; Talkgroup: Tac:2 \"A\"; Display line 1: Metro; "
         "Display line 2: Tac 2"},
        {on_test_day(9, 0, 5).addDays(1), on_test_day(9, 0, 6).addDays(1), 1.0,
         "Fire,-EMS_-_Disp,1_9-00-05-AM_9-00-06-AM_12-06-2026.wav", "Fire, EMS",
         "Display line 1: Fire, EMS; Display line 2: Disp,1"},
    };
    return takes;
}

class TakesOnRealParts : public E2eTest, public ::testing::WithParamInterface<int> {};

TEST_P(TakesOnRealParts, GiveExactlyTheExpectedFiles) {
    const int speed = GetParam();
    TempFolder folder;
    start(kScenario, speed);
    E2eWindow window(folder.path(), speed);

    window.click_run_stop();
    ASSERT_EQ(window.caption(), "Stop") << window.status();
    for (const ExpectedTake& take : expected_takes()) {
        ASSERT_TRUE(window.follow_take(take.start, take.end)) << take.name;
    }
    window.click_run_stop();

    std::vector<std::string> expected_names{kSettingsFile, kTakesLog};
    for (const ExpectedTake& take : expected_takes()) {
        expected_names.push_back(take.name);
    }
    std::sort(expected_names.begin(), expected_names.end());
    EXPECT_EQ(folder.names(), expected_names) << "the takes, the settings, the log, nothing else";

    const double bound = duration_bound_seconds(speed);
    std::printf(
        "at %d bit/s a take may stray %.3f s from its reception, and begin %.3f s "
        "earlier\n",
        speed, bound, pre_roll_seconds(speed));
    for (const ExpectedTake& take : expected_takes()) {
        const TakeSound sound = measure_take(folder.file(take.name));
        ASSERT_TRUE(sound.readable) << take.name;
        std::printf("  %.3f s recorded of %.3f s received, %.1f Hz: %s\n", sound.seconds,
                    take.span_seconds, sound.frequency, take.name.c_str());
        EXPECT_TRUE(take_length_fits(sound.seconds, take.span_seconds, speed)) << take.name;
        EXPECT_NEAR(sound.frequency, kToneHz, kToneHz * 0.02) << take.name;
        std::map<std::string, std::string> tags = testing::ffprobe_tags(folder.file(take.name));
        EXPECT_EQ(tags["title"], take.title) << take.name;
        EXPECT_EQ(tags["comment"], take.comment) << take.name;
        EXPECT_EQ(tags["date"],
                  take.start.toString(Qt::ISODate).toStdString().substr(0, 19) + "+00:00")
            << take.name;
        EXPECT_EQ(tags["encoder"], "Taperly 1.0") << take.name;
    }
}

INSTANTIATE_TEST_SUITE_P(LineSpeeds, TakesOnRealParts, ::testing::Values(9600, 57600),
                         [](const auto& info) { return std::to_string(info.param); });

}  // namespace
}  // namespace taperly::e2e
