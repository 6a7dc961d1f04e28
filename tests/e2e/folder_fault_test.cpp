// The takes folder in trouble while the real window runs: it turns read-only,
// its disk fills up, or a file takes a take's name just before it is saved.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <latch>
#include <set>
#include <thread>

#include "e2e/e2e_test.h"
#include "e2e/private_mounts.h"
#include "e2e/stderr_capture.h"
#include "recorder/takes/take_file.h"

namespace taperly::e2e {
namespace {

using testing::TempFolder;

constexpr int kSpeed = kFastSpeed;

class WithSimulator : public E2eTest {
  protected:
    TempFolder scratch_;
    StderrCapture errors_{scratch_.file("stderr.txt")};
};

class FolderFaults : public WithSimulator {
  protected:
    void SetUp() override {
        WithSimulator::SetUp();
        if (!private_mounts_refusal().empty()) {
            GTEST_SKIP() << "needs mounts of its own (run as root): " << private_mounts_refusal();
        }
    }
};

std::vector<std::string> sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(FolderFaults, ReadOnlyMidRunLosesOnlyTheTakeItCannotHold) {
    SmallDisk disk("8m");
    ASSERT_EQ(disk.refusal(), "");
    TempFolder& folder = disk.folder();
    start(
        "0.4 | State Net | SCAN | no\n"
        "1.0 | State Net | North Ops | yes | State Net | North | Before\n"
        "0.8 | State Net | SCAN | no\n"
        "1.0 | State Net | North Ops | yes | State Net | North | Shut\n"
        "0.8 | State Net | SCAN | no\n"
        "1.0 | State Net | North Ops | yes | State Net | North | After\n"
        "0.5 | State Net | SCAN | no\n");
    E2eWindow window(folder.path(), kSpeed);
    window.click_run_stop();
    ASSERT_TRUE(window.follow_take(on_test_day(10, 0, 0), on_test_day(10, 0, 1)));
    ASSERT_TRUE(remount(folder.path(), true));
    std::set<std::string> shown;
    const bool shut_take_over = window.follow_take(on_test_day(10, 0, 2), on_test_day(10, 0, 3),
                                                   [&] { shown.insert(window.status()); });
    ASSERT_TRUE(remount(folder.path(), false));
    ASSERT_TRUE(shut_take_over);
    ASSERT_TRUE(window.follow_take(on_test_day(10, 0, 4), on_test_day(10, 0, 5)));
    window.click_run_stop();

    const std::string before = "State-Net_North_Before_10-00-00-AM_10-00-01-AM_12-05-2026.wav";
    const std::string after = "State-Net_North_After_10-00-04-AM_10-00-05-AM_12-05-2026.wav";
    EXPECT_EQ(folder.names(), sorted({kSettingsFile, kTakesLog, before, after}));
    EXPECT_EQ(shown.count("Recording"), 0u) << "a take that cannot be held is not recording";
    EXPECT_NE(errors_.text().find("cannot hold a take in " + folder.path()), std::string::npos)
        << errors_.text();
    for (const std::string& name : {before, after}) {
        EXPECT_NEAR(measure_take(folder.file(name)).frequency, kToneHz, kToneHz * 0.02) << name;
    }
}

TEST_F(FolderFaults, FullDiskCutsATakeMakesNoEmptyOnesAndRecordsAgainOnceThereIsRoom) {
    // Room for about three seconds of the long take: it fills well inside
    // the take, not in the newest sound the end holds back.
    SmallDisk disk("192k");
    ASSERT_EQ(disk.refusal(), "");
    TempFolder& folder = disk.folder();
    start(
        "0.4 | State Net | SCAN | no\n"
        "1.0 | State Net | North Ops | yes | State Net | North | Before\n"
        "0.8 | State Net | SCAN | no\n"
        "5.0 | State Net | North Ops | yes | State Net | North | Long\n"
        "0.8 | State Net | SCAN | no\n"
        "1.0 | State Net | North Ops | yes | State Net | North | While\n"
        "2.5 | State Net | SCAN | no\n"
        "1.0 | State Net | North Ops | yes | State Net | North | After\n"
        "0.5 | State Net | SCAN | no\n");
    E2eWindow window(folder.path(), kSpeed);
    window.click_run_stop();
    EXPECT_TRUE(
        window.wait_for([&] { return window.status() == "Disk almost full: 0 min left"; }, 3000))
        << window.status();
    const std::string before = "State-Net_North_Before_10-00-00-AM_10-00-01-AM_12-05-2026.wav";
    const std::string long_take = "State-Net_North_Long_10-00-02-AM_10-00-07-AM_12-05-2026.wav";
    const std::string after = "State-Net_North_After_10-00-10-AM_10-00-11-AM_12-05-2026.wav";
    ASSERT_TRUE(window.follow_take(on_test_day(10, 0, 0), on_test_day(10, 0, 1)));
    std::set<std::string> shown;
    const auto note = [&] { shown.insert(window.status()); };
    ASSERT_TRUE(window.follow_take(on_test_day(10, 0, 2), on_test_day(10, 0, 7), note));
    EXPECT_EQ(shown.count("Disk full: take cut"), 1u) << "the cut take was not told";
    ASSERT_TRUE(window.wait_for([&] { return window.status() == "Disk full: not recording"; }))
        << window.status();
    EXPECT_NE(window.status_detail().find(folder.path()), std::string::npos)
        << window.status_detail();

    shown.clear();
    ASSERT_TRUE(window.follow_take(on_test_day(10, 0, 8), on_test_day(10, 0, 9), note));
    EXPECT_EQ(shown, std::set<std::string>{"Disk full: not recording"});
    EXPECT_EQ(folder.names(), sorted({kSettingsFile, kTakesLog, before, long_take}))
        << "a take begun on a full disk left a file";

    const TakeSound cut = measure_take(folder.file(long_take));
    EXPECT_TRUE(testing::wave_header_matches_length(folder.file(long_take)));
    std::printf("a full disk kept %.3f s of a 5 s reception\n", cut.seconds);
    EXPECT_LT(cut.seconds, 5.0 - duration_bound_seconds(kSpeed)) << "it cannot all have fitted";
    EXPECT_GT(cut.seconds, 2.0);
    EXPECT_NEAR(cut.frequency, kToneHz, kToneHz * 0.02);

    // Room made: recording resumes by itself.
    std::filesystem::remove(folder.file(long_take));
    const auto removed = std::chrono::steady_clock::now();
    ASSERT_TRUE(window.wait_for([&] { return window.status() != "Disk full: not recording"; }))
        << window.status();
    std::printf("recording again %lld ms after a file was removed\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - removed)
                                           .count()));
    EXPECT_EQ(window.status(), "Last take cut: disk was full") << "the disk is not full now";
    ASSERT_TRUE(window.follow_take(on_test_day(10, 0, 10), on_test_day(10, 0, 11)));
    EXPECT_TRUE(
        window.wait_for([&] { return !window.status().starts_with("Last take cut"); }, 2000))
        << "a take saved whole ends the news";
    window.click_run_stop();
    EXPECT_EQ(folder.names(), sorted({kSettingsFile, kTakesLog, before, after}));
    for (const std::string& name : {before, after}) {
        const TakeSound whole = measure_take(folder.file(name));
        EXPECT_TRUE(take_length_fits(whole.seconds, 1.0, kSpeed)) << name << " " << whole.seconds;
        EXPECT_NEAR(whole.frequency, kToneHz, kToneHz * 0.02) << name;
    }
}

TEST_F(FolderFaults, SaveThatFailsKeepsTheTakeForTheNextStartAndSaysSo) {
    SmallDisk disk("8m");
    ASSERT_EQ(disk.refusal(), "");
    TempFolder& folder = disk.folder();
    start(
        "0.4 | State Net | SCAN | no\n"
        "1.5 | State Net | North Ops | yes | State Net | North | Kept\n"
        "1.0 | State Net | SCAN | no\n"
        "1.0 | State Net | North Ops | yes | State Net | North | After\n"
        "0.5 | State Net | SCAN | no\n");
    const std::string after = "State-Net_North_After_10-00-04-AM_10-00-05-AM_12-05-2026.wav";
    {
        E2eWindow window(folder.path(), kSpeed);
        window.click_run_stop();
        window.time.set(on_test_day(10, 0, 0));
        ASSERT_TRUE(window.wait_for([&] { return window.take_in_progress(); }));
        ASSERT_EQ(make_read_only(folder.path()), "");
        window.time.set(on_test_day(10, 0, 2));
        const bool ended = window.wait_for([&] { return !window.take_in_progress(); });
        const std::string told = window.status();
        const std::string detail = window.status_detail();
        const std::vector<std::string> hidden = temporary_takes(folder.names());
        unmount(folder.path());
        ASSERT_TRUE(ended);
        EXPECT_EQ(told.rfind("Take not saved: Read-only", 0), 0u) << told;
        EXPECT_NE(detail.find("Read-only file system"), std::string::npos) << detail;
        EXPECT_NE(detail.find("saves it as an unfinished take"), std::string::npos) << detail;
        EXPECT_EQ(hidden.size(), 1u) << "the take is not kept";
        ASSERT_TRUE(window.follow_take(on_test_day(10, 0, 4), on_test_day(10, 0, 5)));
        EXPECT_TRUE(window.wait_for(
            [&] { return window.status().rfind("Take not saved", 0) == std::string::npos; }, 2000))
            << "a saved take ends the notice: " << window.status();
        window.click_run_stop();
    }
    E2eWindow next_start(folder.path(), kSpeed);
    const std::string recovered = "unfinished_10-00-00-AM_12-05-2026.wav";
    EXPECT_EQ(next_start.status(), "1 unfinished take saved");
    EXPECT_EQ(folder.names(), sorted({kSettingsFile, kTakesLog, after, recovered}));
    const TakeSound kept = measure_take(folder.file(recovered));
    EXPECT_TRUE(take_length_fits(kept.seconds, 1.5, kSpeed)) << kept.seconds;
    EXPECT_NEAR(kept.frequency, kToneHz, kToneHz * 0.02);
}

// A USB stick's file system: no hard links, no renames that refuse to
// replace, and names without ? * : " < > | \.
class ExfatFolder : public FolderFaults {
  protected:
    void SetUp() override {
        FolderFaults::SetUp();
        if (IsSkipped()) {
            return;
        }
        disk_ = std::make_unique<ExfatDisk>(scratch_.file("exfat.img"), folder_.path(), "16M");
        if (!disk_->refusal().empty()) {
            GTEST_SKIP() << disk_->refusal();
        }
    }
    void TearDown() override { disk_.reset(); }

    TempFolder folder_;
    std::unique_ptr<ExfatDisk> disk_;
};

TEST_F(ExfatFolder, SavesEveryTakeCleansWhatItRefusesAndReplacesNothing) {
    start(
        "0.4 | Fire | SCAN | no\n"
        "1.0 | Fire | North Ops | yes | State Net | North | Ops\n"
        "0.8 | Fire | SCAN | no\n"
        "1.0 | \"A?*\\x22<>\\x7CB\" | Disp 1 | yes\n"
        "0.8 | Fire | SCAN | no\n"
        "1.0 | Fire | North Ops | yes | State Net | North | Ops\n"
        "0.5 | Fire | SCAN | no\n");
    const std::string trunked = "State-Net_North_Ops_10-00-00-AM_10-00-01-AM_12-05-2026.wav";
    const std::string displayed = "A------B_-_Disp-1_10-00-02-AM_10-00-03-AM_12-05-2026.wav";
    const std::string taken = "State-Net_North_Ops_10-00-04-AM_10-00-05-AM_12-05-2026.wav";
    folder_.write(taken, "someone else's");
    E2eWindow window(folder_.path(), kSpeed);
    window.click_run_stop();
    ASSERT_TRUE(window.follow_take(on_test_day(10, 0, 0), on_test_day(10, 0, 1)));
    ASSERT_TRUE(window.follow_take(on_test_day(10, 0, 2), on_test_day(10, 0, 3)));
    ASSERT_TRUE(window.follow_take(on_test_day(10, 0, 4), on_test_day(10, 0, 5)));
    EXPECT_TRUE(
        window.wait_for([&] { return window.status() == "Take not saved: name taken"; }, 2000))
        << window.status();
    window.click_run_stop();
    EXPECT_EQ(folder_.names(), sorted({kSettingsFile, kTakesLog, displayed, trunked, taken}));
    EXPECT_EQ(folder_.read(taken), "someone else's");
    for (const std::string& name : {trunked, displayed}) {
        const TakeSound sound = measure_take(folder_.file(name));
        EXPECT_TRUE(take_length_fits(sound.seconds, 1.0, kSpeed)) << name << " " << sound.seconds;
        EXPECT_NEAR(sound.frequency, kToneHz, kToneHz * 0.02) << name;
    }
}

TEST_F(ExfatFolder, WritersRacingForOneNameNeverReplaceEachOther) {
    constexpr int kWriters = 4;
    for (int round = 0; round < 5; ++round) {
        const std::string name = "race" + std::to_string(round) + ".wav";
        std::vector<TakeFile::Saved> outcomes(kWriters);
        {
            std::latch ready(kWriters);
            std::vector<std::jthread> writers;
            for (int i = 0; i < kWriters; ++i) {
                writers.emplace_back([&, i] {
                    TakeFile take(folder_.path());
                    const std::string bytes(64 * 1024, static_cast<char>('a' + i));
                    const auto size = static_cast<std::int64_t>(bytes.size());
                    const bool held = take.create() && take.write(bytes.data(), size) == size;
                    ready.arrive_and_wait();
                    outcomes[i] = held ? take.save_as(name) : TakeFile::Saved::kFailed;
                    take.discard();
                });
            }
        }
        const auto stored = std::count(outcomes.begin(), outcomes.end(), TakeFile::Saved::kStored);
        const auto taken =
            std::count(outcomes.begin(), outcomes.end(), TakeFile::Saved::kNameTaken);
        ASSERT_EQ(stored, 1) << "round " << round;
        EXPECT_EQ(taken, kWriters - 1) << "round " << round;
        const int winner =
            static_cast<int>(std::find(outcomes.begin(), outcomes.end(), TakeFile::Saved::kStored) -
                             outcomes.begin());
        EXPECT_EQ(folder_.read(name), std::string(64 * 1024, static_cast<char>('a' + winner)));
    }
    EXPECT_TRUE(temporary_takes(folder_.names()).empty()) << "hidden takes were left";
}

}  // namespace
}  // namespace taperly::e2e
