// The takes folder in trouble while the real window runs: it turns read-only,
// its disk fills up, or a file takes a take's name just before it is saved.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

#include "e2e/e2e_window.h"
#include "e2e/private_mounts.h"
#include "e2e/stderr_capture.h"
#include "support/temp_folder.h"

namespace taperly::e2e {
namespace {

using testing::SimulatorProcess;
using testing::SimulatorSettings;
using testing::TempFolder;

constexpr int kSpeed = 57600;

// A small disk mounted over a fresh folder for one test.
class SmallDisk {
  public:
    explicit SmallDisk(const std::string& size) {
        refusal_ = mount_small_disk(folder_.path(), size);
    }
    ~SmallDisk() {
        if (refusal_.empty()) {
            unmount(folder_.path());
        }
    }
    const std::string& refusal() const { return refusal_; }
    TempFolder& folder() { return folder_; }

  private:
    TempFolder folder_;
    std::string refusal_;
};

class WithSimulator : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sound_server_answers()) << "no test sound server: run through CTest";
    }
    void start(const std::string& scenario) {
        SimulatorSettings settings;
        settings.scenario = scenario;
        settings.bits_per_second = kSpeed;
        simulator_ = std::make_unique<SimulatorProcess>(settings);
        simulator_->point_com_port(1);
    }

    TempFolder scratch_;
    StderrCapture errors_{scratch_.file("stderr.txt")};
    std::unique_ptr<SimulatorProcess> simulator_;
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
    EXPECT_EQ(folder.names(), sorted({kSettingsFile, before, after}));
    EXPECT_EQ(shown.count("Recording"), 0u) << "a take that cannot be held is not recording";
    EXPECT_NE(errors_.text().find("cannot hold a take in " + folder.path()), std::string::npos)
        << errors_.text();
    for (const std::string& name : {before, after}) {
        EXPECT_NEAR(measure_take(folder.file(name)).frequency, kToneHz, kToneHz * 0.02) << name;
    }
}

TEST_F(FolderFaults, FullDiskKeepsAWholeBeginningAndSaysTheRestIsLost) {
    SmallDisk disk("96k");
    ASSERT_EQ(disk.refusal(), "");
    TempFolder& folder = disk.folder();
    start(
        "0.4 | State Net | SCAN | no\n"
        "2.5 | State Net | North Ops | yes | State Net | North | Long\n"
        "0.8 | State Net | SCAN | no\n"
        "1.0 | State Net | North Ops | yes | State Net | North | Short\n"
        "0.5 | State Net | SCAN | no\n");
    E2eWindow window(folder.path(), kSpeed);
    window.click_run_stop();
    const std::string long_take = "State-Net_North_Long_10-00-00-AM_10-00-03-AM_12-05-2026.wav";
    const std::string short_take = "State-Net_North_Short_10-00-04-AM_10-00-05-AM_12-05-2026.wav";
    ASSERT_TRUE(window.follow_take(on_test_day(10, 0, 0), on_test_day(10, 0, 3)));
    EXPECT_NE(errors_.text().find("the rest of this take is lost"), std::string::npos)
        << errors_.text();
    ASSERT_EQ(folder.names(), sorted({kSettingsFile, long_take}));
    const TakeSound cut = measure_take(folder.file(long_take));
    EXPECT_TRUE(cut.readable);
    std::printf("a full disk kept %.3f s of a 2.5 s reception\n", cut.seconds);
    EXPECT_TRUE(testing::wave_header_matches_length(folder.file(long_take)));
    EXPECT_LT(cut.seconds, 2.5 - duration_bound_seconds(kSpeed)) << "it cannot all have fitted";
    EXPECT_GT(cut.seconds, 1.0);
    EXPECT_NEAR(cut.frequency, kToneHz, kToneHz * 0.02);

    // Room made again: the next take is whole.
    std::filesystem::remove(folder.file(long_take));
    ASSERT_TRUE(window.follow_take(on_test_day(10, 0, 4), on_test_day(10, 0, 5)));
    window.click_run_stop();
    EXPECT_EQ(folder.names(), sorted({kSettingsFile, short_take}));
    const TakeSound whole = measure_take(folder.file(short_take));
    EXPECT_TRUE(take_length_fits(whole.seconds, 1.0, kSpeed)) << whole.seconds;
    EXPECT_NEAR(whole.frequency, kToneHz, kToneHz * 0.02);
}

// The real recorder, with a file of someone else's put under the take's name
// at one moment of the save.
class PlantingRecorder : public RecorderControl {
  public:
    enum class When { kBeforeTheExistenceTest, kBetweenTheTestAndTheSave };

    PlantingRecorder(std::unique_ptr<RecorderControl> real, std::string folder, std::string name,
                     When when)
        : real_(std::move(real)), folder_(std::move(folder)), name_(std::move(name)), when_(when) {}

    static constexpr const char* kPlantedBytes = "not a take: someone else's file";

    void setNotify(bool on) override { real_->setNotify(on); }
    void setWait(bool on) override { real_->setWait(on); }
    void setShareable(bool on) override { real_->setShareable(on); }
    void setDeviceType(const std::string& type) override { real_->setDeviceType(type); }
    void setRecordMode(int mode) override { real_->setRecordMode(mode); }
    void setFileName(const std::string& name) override {
        real_->setFileName(name);
        if (when_ == When::kBeforeTheExistenceTest) {
            plant(name);
        }
    }
    std::string FileName() const override { return real_->FileName(); }
    void Command(const std::string& order) override {
        if (order == "save" && when_ == When::kBetweenTheTestAndTheSave) {
            plant(real_->FileName());
        }
        real_->Command(order);
    }
    int Mode() const override { return real_->Mode(); }

  private:
    void plant(const std::string& name) {
        if (name == name_ && !std::filesystem::exists(folder_ + "/" + name)) {
            std::ofstream(folder_ + "/" + name, std::ios::binary) << kPlantedBytes;
        }
    }

    std::unique_ptr<RecorderControl> real_;
    std::string folder_;
    std::string name_;
    When when_;
};

class NameTaken : public WithSimulator,
                  public ::testing::WithParamInterface<PlantingRecorder::When> {};

TEST_P(NameTaken, FileThatTakesTheNameKeepsItsBytes) {
    TempFolder folder;
    start(
        "0.4 | State Net | SCAN | no\n"
        "1.0 | State Net | North Ops | yes | State Net | North | Ops\n"
        "0.5 | State Net | SCAN | no\n");
    const std::string name = "State-Net_North_Ops_10-00-00-AM_10-00-01-AM_12-05-2026.wav";
    E2eWindow window(folder.path(), kSpeed, [&](std::unique_ptr<RecorderControl> real) {
        return std::make_unique<PlantingRecorder>(std::move(real), folder.path(), name, GetParam());
    });
    window.click_run_stop();
    ASSERT_TRUE(window.follow_take(on_test_day(10, 0, 0), on_test_day(10, 0, 1)));
    window.click_run_stop();
    EXPECT_EQ(folder.read(name), PlantingRecorder::kPlantedBytes);
    EXPECT_EQ(folder.names(), sorted({kSettingsFile, name}));
    if (GetParam() == PlantingRecorder::When::kBetweenTheTestAndTheSave) {
        EXPECT_NE(errors_.text().find("not saved, a file already has the name"), std::string::npos)
            << errors_.text();
    }
}

INSTANTIATE_TEST_SUITE_P(Moments, NameTaken,
                         ::testing::Values(PlantingRecorder::When::kBeforeTheExistenceTest,
                                           PlantingRecorder::When::kBetweenTheTestAndTheSave),
                         [](const auto& info) {
                             return info.param == PlantingRecorder::When::kBeforeTheExistenceTest
                                        ? "BeforeTheExistenceTest"
                                        : "BetweenTheTestAndTheSave";
                         });

}  // namespace
}  // namespace taperly::e2e
