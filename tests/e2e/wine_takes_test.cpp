// Taperly's window on its Windows parts (the serial twin on COM1, which is the
// simulator's pseudo-terminal, and WASAPI capture, which Wine's PulseAudio
// driver feeds from the private sound server): two calls give the files the
// Linux end-to-end test expects, and Stop and closing the window each save the
// take in progress; the Takes window, on the Windows build's SQLite and Qt,
// lists the takes saved and one saved while it is open. Run by
// wine-with-scanner with wine-scenario.txt.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/archived_take.h"
#include "e2e/e2e_window.h"
#include "support/temp_folder.h"
#include "takes_window/takes_model.h"
#include "takes_window/takes_window.h"

namespace taperly::e2e {
namespace {

using testing::TempFolder;

constexpr int kSpeed = 9600;

struct Take {
    QDateTime start;
    QDateTime end;
    double span_seconds;  // the scenario's reception; 0 when it is cut short
    std::string name;
};

const std::vector<Take> kWholeTakes{
    {on_test_day(21, 5, 7), on_test_day(21, 5, 9), 1.5,
     "State-Net_North-Area_Ops_9-05-07-PM_9-05-09-PM_12-05-2026.wav"},
    {on_test_day(21, 6, 0), on_test_day(21, 6, 2), 1.2,
     "County-Fire_-_Dispatch_9-06-00-PM_9-06-02-PM_12-05-2026.wav"},
};
const Take kStopped{on_test_day(21, 7, 0), on_test_day(21, 7, 1), 0,
                    "Metro_-_Tac-2_9-07-00-PM_9-07-01-PM_12-05-2026.wav"};
const Take kClosed{on_test_day(21, 8, 0), on_test_day(21, 8, 1), 0,
                   "Fire-EMS_-_Disp-1_9-08-00-PM_9-08-01-PM_12-05-2026.wav"};

// Waits until a take begins, shows `take.end` on the clock a second later and
// ends the take with `end_it`; false when no take began.
bool cut_take(E2eWindow& window, const Take& take, const std::function<void()>& end_it) {
    window.time.set(take.start);
    if (!E2eWindow::wait_for([&] { return window.take_in_progress(); })) {
        return false;
    }
    QTest::qWait(1000);
    window.time.set(take.end);
    end_it();
    return true;
}

void expect_sound(const TempFolder& folder, const Take& take) {
    const TakeSound sound = measure_take(folder.file(take.name));
    ASSERT_TRUE(sound.readable) << take.name;
    std::printf("  %.3f s recorded of %.3f s received, %.1f Hz: %s\n", sound.seconds,
                take.span_seconds, sound.frequency, take.name.c_str());
    if (take.span_seconds > 0) {
        EXPECT_TRUE(take_length_fits(sound.seconds, take.span_seconds, kSpeed)) << take.name;
    } else {
        EXPECT_GT(sound.seconds, 0.5) << take.name << " lost what was recorded before the end";
    }
    EXPECT_NEAR(sound.frequency, kToneHz, kToneHz * 0.02) << take.name;
}

// The names the Takes window lists, top down.
std::vector<std::string> listed(const TakesModel& model) {
    std::vector<std::string> names;
    for (int row = 0; row < model.rowCount(); ++row) {
        const ArchivedTake* take = model.take_at(row);
        names.push_back(take != nullptr ? take->facts.file_name : std::string());
    }
    return names;
}

TEST(TakesUnderWine, TwoCallsThenStopAndCloseEachSaveTheTakeInProgress) {
    TempFolder folder;
    TempFolder cache;
    {
        E2eWindow window(folder.path(), kSpeed, {}, cache.path());
        window.click_run_stop();
        ASSERT_EQ(window.caption(), "Stop") << window.status();
        for (const Take& take : kWholeTakes) {
            ASSERT_TRUE(window.follow_take(take.start, take.end))
                << take.name << ": " << window.status();
        }
        window.form().open_takes();
        const TakesModel& model = window.form().takes_window()->model();
        const std::vector<std::string> newest_first = {kWholeTakes[1].name, kWholeTakes[0].name};
        EXPECT_TRUE(E2eWindow::wait_for([&] { return listed(model) == newest_first; }))
            << ::testing::PrintToString(listed(model));
        QElapsedTimer since_stop;
        ASSERT_TRUE(cut_take(window, kStopped, [&] { window.click_run_stop(); }))
            << window.status();
        since_stop.start();
        EXPECT_TRUE(E2eWindow::wait_for([&] {
            const std::vector<std::string> names = listed(model);
            return names.size() == 3 && names.front() == kStopped.name;
        })) << ::testing::PrintToString(listed(model));
        EXPECT_EQ(window.caption(), "Run");
        EXPECT_FALSE(window.take_in_progress());
        // Run again once the stopped call is over, so that its rest is no take.
        E2eWindow::wait_for([&] { return since_stop.elapsed() > 3000; }, 5000);
        window.click_run_stop();
        ASSERT_TRUE(cut_take(window, kClosed, [&] { window.form().close(); })) << window.status();
    }

    std::vector<std::string> expected{kSettingsFile, kTakesLog, kStopped.name, kClosed.name};
    for (const Take& take : kWholeTakes) {
        expected.push_back(take.name);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folder.names(), expected) << "the takes, the settings, the log, nothing else";
    std::printf(
        "at %d bit/s a take may stray %.3f s from its reception, and begin %.3f s "
        "earlier\n",
        kSpeed, duration_bound_seconds(kSpeed), pre_roll_seconds(kSpeed));
    for (const Take& take : kWholeTakes) {
        expect_sound(folder, take);
    }
    expect_sound(folder, kStopped);
    expect_sound(folder, kClosed);
}

}  // namespace
}  // namespace taperly::e2e
