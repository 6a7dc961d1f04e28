#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "recorder/wave_recorder_fixture.h"
#include "recorder/wave_test_support.h"

// What only POSIX systems let happen: a full disk made with a resource limit
// on the size of files (Windows has none), and the takes folder removed
// while a take is open in it (Windows refuses that while the file is open).
namespace taperly {
namespace {

using testing::numbered_frames;

TEST_F(WaveRecorderTest, TakesFolderRemovedAndMadeAgainStillSavesTheTake) {
    open_and_record(*recorder);
    input->deliver(numbered_frames(0, 100));
    std::filesystem::remove_all(folder.path());
    std::filesystem::create_directory(folder.path());
    input->deliver(numbered_frames(100, 100));
    finish_take("take.wav");
    EXPECT_EQ(saved("take.wav"), numbered_frames(0, 200));
    EXPECT_EQ(folder.names(), std::vector<std::string>{"take.wav"});
}

// Limits the size of files this process writes, as a full disk would.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, old_handler_);
    }

  private:
    rlimit old_{};
    void (*old_handler_)(int) = nullptr;
};

TEST_F(WaveRecorderTest, FailedWriteKeepsWhatWasWrittenAndSavesIt) {
    open_and_record(*recorder);
    input->deliver(numbered_frames(0, 1000));
    {
        FileSizeLimit full(44 + 2 * 1500);
        input->deliver(numbered_frames(1000, 2000));  // only part of it fits
        input->deliver(numbered_frames(3000, 100));   // nothing fits
        finish_take("take.wav");
    }
    EXPECT_TRUE(testing::wave_header_matches_length(folder.file("take.wav")));
    const std::vector<std::int16_t> samples = saved("take.wav");
    ASSERT_GE(samples.size(), 1000u);
    ASSERT_LE(samples.size(), 1500u);
    EXPECT_EQ(samples, numbered_frames(0, static_cast<int>(samples.size())));
    EXPECT_EQ(folder.names(), std::vector<std::string>{"take.wav"});
}

}  // namespace
}  // namespace taperly
