// What became of a take reaches the status line, and the folder keeps what
// was there: a file takes the take's name just before it is saved, or the
// folder turns read-only, with takes stored as WAV and as FLAC.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "e2e/e2e_test.h"
#include "e2e/private_mounts.h"
#include "e2e/stderr_capture.h"
#include "support/environment.h"

namespace taperly::e2e {
namespace {

using testing::TempFolder;

constexpr int kSpeed = kFastSpeed;

std::vector<std::string> sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

class WithSimulator : public E2eTest {
  protected:
    TempFolder scratch_;
    StderrCapture errors_{scratch_.file("stderr.txt")};
};

// The real recorder, with a file of someone else's put under the take's name
// at one moment of the save.
class PlantingRecorder : public RecorderControl {
  public:
    enum class When { kBeforeTheExistenceTest, kBetweenTheTestAndTheSave };

    PlantingRecorder(std::unique_ptr<RecorderControl> real, std::string folder, std::string name,
                     When when)
        : real_(std::move(real)), folder_(std::move(folder)), name_(std::move(name)), when_(when) {}

    static constexpr const char* kPlantedBytes = "not a take: someone else's file";

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
    // The rest is the real recorder's.
    std::string take_extension() const override { return real_->take_extension(); }
    void when_saved_later(LateSaveTold told) override { real_->when_saved_later(std::move(told)); }
    void on_late_save(std::function<void()> wake) override { real_->on_late_save(std::move(wake)); }
    bool settle_late_saves() override { return real_->settle_late_saves(); }
    void finish_storing_now() override { real_->finish_storing_now(); }
    int Mode() const override { return real_->Mode(); }
    RecorderTrouble trouble() const override { return real_->trouble(); }
    TakeStorage storage() const override { return real_->storage(); }
    std::optional<EndedTake> close_take() override { return real_->close_take(); }
    void listen_between_takes(std::chrono::milliseconds reach) override {
        real_->listen_between_takes(reach);
    }
    void stop_listening() override { real_->stop_listening(); }
    void heard_nothing_at(std::chrono::milliseconds sent) override {
        real_->heard_nothing_at(sent);
    }
    void set_take_start(const std::string& started) override { real_->set_take_start(started); }
    void set_take_tags(const TakeTags& tags) override { real_->set_take_tags(tags); }
    std::optional<EndedTake> split_take(bool save, const std::string& started) override {
        return real_->split_take(save, started);
    }

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
    EXPECT_EQ(folder.names(), sorted({kSettingsFile, kTakesLog, name}));
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

// Takes stored as FLAC for one test: the others keep WAV.
class FlacFor {
  public:
    explicit FlacFor(bool flac) : flac_(flac) {
        if (flac_) {
            testing::set_environment("TAPERLY_FORMAT", "flac");
        }
    }
    ~FlacFor() {
        if (flac_) {
            testing::unset_environment("TAPERLY_FORMAT");
        }
    }
    FlacFor(const FlacFor&) = delete;
    FlacFor& operator=(const FlacFor&) = delete;

  private:
    bool flac_;
};

struct OutcomeCase {
    const char* name;
    bool flac;
    // The folder turns read-only mid-take; else a file takes the take's name
    // just before it is saved (found only by the encoding, in FLAC mode).
    bool read_only;
    // What the status line begins with (the rest may not fit in it).
    std::string told;
    std::string detail_part;
};

void PrintTo(const OutcomeCase& c, std::ostream* out) {
    *out << c.name;
}

class OutcomeTold : public WithSimulator, public ::testing::WithParamInterface<OutcomeCase> {};

// What became of a take reaches the status line the same way whether it is
// known at once (WAV) or only once its encoding has run (FLAC).
TEST_P(OutcomeTold, AlikeForWavAndFlac) {
    const OutcomeCase& c = GetParam();
    if (!private_mounts_refusal().empty()) {
        GTEST_SKIP() << "needs mounts of its own (run as root): " << private_mounts_refusal();
    }
    // Room for encoding beside the take being recorded.
    SmallDisk disk("256m");
    ASSERT_EQ(disk.refusal(), "");
    TempFolder& folder = disk.folder();
    start(
        "0.4 | State Net | SCAN | no\n"
        "1.0 | State Net | North Ops | yes | State Net | North | Ops\n"
        "0.5 | State Net | SCAN | no\n");
    const std::string name = std::string("State-Net_North_Ops_10-00-00-AM_10-00-01-AM_12-05-2026") +
                             (c.flac ? ".flac" : ".wav");
    const FlacFor flac(c.flac);
    RecorderWrapper wrap;
    if (!c.read_only) {
        wrap = [&](std::unique_ptr<RecorderControl> real) {
            return std::make_unique<PlantingRecorder>(
                std::move(real), folder.path(), name,
                PlantingRecorder::When::kBetweenTheTestAndTheSave);
        };
    }
    E2eWindow window(folder.path(), kSpeed, wrap);
    window.click_run_stop();
    window.time.set(on_test_day(10, 0, 0));
    ASSERT_TRUE(window.wait_for([&] { return window.take_in_progress(); }));
    if (c.read_only) {
        ASSERT_EQ(make_read_only(folder.path()), "");
    }
    window.time.set(on_test_day(10, 0, 1));
    const bool ended = window.wait_for([&] { return !window.take_in_progress(); });
    const auto telling = [&] { return window.status().starts_with(c.told); };
    const bool told = window.wait_for(telling);
    const std::string status = window.status();
    const std::string detail = window.status_detail();
    const std::vector<std::string> hidden = temporary_takes(folder.names());
    if (c.read_only) {
        unmount(folder.path());
    }
    ASSERT_TRUE(ended);
    EXPECT_TRUE(told) << status;
    EXPECT_NE(detail.find(c.detail_part), std::string::npos) << detail;
    EXPECT_EQ(hidden.size(), c.read_only ? 1u : 0u) << "only a take not saved stays hidden";
    window.click_run_stop();
    EXPECT_TRUE(telling()) << "Stop tells it too: " << window.status();
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, OutcomeTold,
    ::testing::Values(
        OutcomeCase{"wav_folder_read_only", false, true, "Take not saved: Read-only",
                    "Read-only file system). It stays there as a hidden file"},
        OutcomeCase{"flac_folder_read_only", true, true, "Take not saved: Read-only",
                    "Read-only file system). It stays there as a hidden file"},
        OutcomeCase{"wav_name_taken", false, false, "Take not saved: name taken",
                    "State-Net_North_Ops_10-00-00-AM_10-00-01-AM_12-05-2026.wav already exists"},
        OutcomeCase{"flac_name_taken", true, false, "Take not saved: name taken",
                    "State-Net_North_Ops_10-00-00-AM_10-00-01-AM_12-05-2026.flac already exists"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace taperly::e2e
