// The takes log across a run on the real window, serial line and recorder:
// a take saved, one whose name a file already had, both after a log a power
// cut left ending in half a row; takes stored as FLAC, and an old one removed
// from a log a spreadsheet saved again, another kept for its star.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "e2e/e2e_window.h"
#include "e2e/takes_log_reading.h"
#include "keeping/takes_keeping.h"
#include "support/environment.h"
#include "support/simulator_process.h"
#include "support/temp_folder.h"
#include "tracking/take_identity.h"
#include "tracking/take_log_file.h"

namespace taperly::e2e {
namespace {

using testing::SimulatorProcess;
using testing::SimulatorSettings;
using testing::TempFolder;

TEST(TakesLogOnRealParts, GetsARowPerTakeAfterAHalfRow) {
    ASSERT_TRUE(sound_server_answers()) << "no test sound server: run through CTest";
    TempFolder folder;
    const std::string saved = "State-Net_North-Area_Ops_9-05-07-PM_9-05-09-PM_12-05-2026.wav";
    const std::string taken = "Fire,-EMS_-_Disp,1_9-10-00-PM_9-10-01-PM_12-05-2026.wav";
    folder.write(taken, "planted before");
    // Cut off inside a quoted field: a line end alone would join the rows.
    folder.write("takes.csv",
                 "start,end,seconds,file,outcome,system,group,talkgroup,display line 1,display "
                 "line 2,peak dBFS\r\n"
                 "2026-12-05T20:00:00+00:00,2026-12-05T20:00:01+00:00,1.000,x.wav,saved,\"Fire, E");
    SimulatorSettings settings;
    settings.scenario =
        "0.4 | State Net | SCAN | no\n"
        "1.5 | State Net | North Ops | yes | State Net | North Area | Ops\n"
        "0.8 | State Net | SCAN | no\n"
        "1.0 | Fire, EMS | Disp,1 | yes\n"
        "0.5 | State Net | SCAN | no\n";
    settings.bits_per_second = 57600;
    SimulatorProcess simulator(settings);
    simulator.point_com_port(1);
    E2eWindow window(folder.path(), settings.bits_per_second);

    window.click_run_stop();
    ASSERT_EQ(window.caption(), "Stop") << window.status();
    ASSERT_TRUE(window.follow_take(on_test_day(21, 5, 7), on_test_day(21, 5, 9)));
    ASSERT_TRUE(window.follow_take(on_test_day(21, 10, 0), on_test_day(21, 10, 1)));
    window.click_run_stop();

    EXPECT_EQ(takes_log_rows(folder.path()),
              (std::vector<std::string>{
                  "part of a row",
                  "2026-12-05T21:05:07+00:00|2026-12-05T21:05:09+00:00|" + saved +
                      "|saved|State Net|North Area|Ops|State Net|North Ops|sound|level",
                  "2026-12-05T21:10:00+00:00|2026-12-05T21:10:01+00:00|" + taken +
                      "|name taken||||Fire, EMS|Disp,1|sound|level",
              }));
    EXPECT_EQ(folder.read(taken), "planted before");
}

// Set for one test only: the other tests of the process keep WAV and every take.
class EnvironmentFor {
  public:
    EnvironmentFor(std::string name, const std::string& value) : name_(std::move(name)) {
        testing::set_environment(name_, value);
    }
    ~EnvironmentFor() { testing::unset_environment(name_); }
    EnvironmentFor(const EnvironmentFor&) = delete;
    EnvironmentFor& operator=(const EnvironmentFor&) = delete;

  private:
    std::string name_;
};

TEST(TakesLogOnRealParts, FlacTakesAndOldTakesRemoved) {
    ASSERT_TRUE(sound_server_answers()) << "no test sound server: run through CTest";
    TempFolder folder;
    const std::string saved = "State-Net_North-Area_Ops_9-05-07-PM_9-05-09-PM_12-05-2026.flac";
    const std::string old = "State-Net_North-Area_Ops_8-00-00-PM_8-00-01-PM_10-01-2026.flac";
    // Starred in the Takes window: never removed.
    const std::string starred = "State-Net_North-Area_Ops_8-10-00-PM_8-10-01-PM_10-01-2026.flac";
    folder.write(old, "a take of October");
    folder.write(starred, "a starred take of October");
    folder.write("mine.wav", "not a take of the log's");
    folder.write("stars.csv",
                 "time,file,star\r\n2026-10-02T08:00:00+00:00," + starred + ",starred\r\n");
    const std::optional<TakeIdentity> identity = identify_file(folder.file(old));
    ASSERT_TRUE(identity);
    const std::optional<TakeIdentity> starred_identity = identify_file(folder.file(starred));
    ASSERT_TRUE(starred_identity);
    // Saved again by a spreadsheet: a byte-order mark, CRLF, a column of its own.
    folder.write("takes.csv",
                 "\xEF\xBB\xBFstart,end,seconds,file,outcome,system,group,talkgroup,display line "
                 "1,display line 2,peak dBFS,bytes,fingerprint,checked\r\n"
                 "2026-10-01T20:00:00+00:00,2026-10-01T20:00:01+00:00,1.000," +
                     old + ",saved,,,,,,," + std::to_string(identity->bytes) + "," +
                     identity->fingerprint +
                     ",yes\r\n"
                     "2026-10-01T20:10:00+00:00,2026-10-01T20:10:01+00:00,1.000," +
                     starred + ",saved,,,,,,," + std::to_string(starred_identity->bytes) + "," +
                     starred_identity->fingerprint + ",yes\r\n");
    // An earlier run watched it for 31 days, its clock still in October then.
    {
        TakeLogFile log(folder.path());
        TakesKeeping earlier(folder.path(), 30, log);
        const std::atomic<bool> ending = false;
        const auto october = [](int day) { return LocalTime{"", {2026, 10, day}, {21, 0, 0, 0}}; };
        EXPECT_EQ(earlier.pass(october(1), SteadyTime(0), ending).trouble, "");
        EXPECT_EQ(earlier.pass(october(2), std::chrono::hours(31 * 24), ending).removed, 0);
    }
    const EnvironmentFor flac("TAPERLY_FORMAT", "flac");
    const EnvironmentFor keep("TAPERLY_KEEP_DAYS", "30");
    SimulatorSettings settings;
    settings.scenario =
        "0.4 | State Net | SCAN | no\n"
        "1.5 | State Net | North Ops | yes | State Net | North Area | Ops\n"
        "0.5 | State Net | SCAN | no\n";
    settings.bits_per_second = 57600;
    SimulatorProcess simulator(settings);
    simulator.point_com_port(1);
    {
        E2eWindow window(folder.path(), settings.bits_per_second);
        window.click_run_stop();
        ASSERT_EQ(window.caption(), "Stop") << window.status();
        ASSERT_TRUE(window.follow_take(on_test_day(21, 5, 7), on_test_day(21, 5, 9)));
        window.click_run_stop();
    }
    // The window is gone, and with it every take being stored.
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
        names.insert(entry.path().filename().string());
    }
    EXPECT_EQ(names, (std::set<std::string>{saved, starred, "mine.wav", "takes.csv", "stars.csv",
                                            kSettingsFile, ".taperly-keeping"}));
    EXPECT_EQ(folder.read(starred), "a starred take of October");
    const testing::WaveContents take = testing::read_wave(folder.file(saved));
    EXPECT_TRUE(take.readable);
    EXPECT_EQ(take.sample_rate, 22050);
    EXPECT_GT(take.samples.size(), 22050u);
    EXPECT_EQ(folder.read("mine.wav"), "not a take of the log's");
    EXPECT_EQ(takes_log_rows(folder.path()),
              (std::vector<std::string>{
                  "2026-10-01T20:00:00+00:00|2026-10-01T20:00:01+00:00|" + old +
                      "|saved||||||sound|no level",
                  "2026-10-01T20:10:00+00:00|2026-10-01T20:10:01+00:00|" + starred +
                      "|saved||||||sound|no level",
                  "|2026-12-05T20:00:00+00:00|" + old + "|removed||||||0.000|no level",
                  "|2026-12-05T20:00:00+00:00|" + starred + "|kept: starred||||||0.000|no level",

                  "2026-12-05T21:05:07+00:00|2026-12-05T21:05:09+00:00|" + saved +
                      "|saved|State Net|North Area|Ops|State Net|North Ops|sound|level",
              }));
}

}  // namespace
}  // namespace taperly::e2e
