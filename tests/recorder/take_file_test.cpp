#include "recorder/takes/take_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <latch>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_folder.h"

namespace taperly {
namespace {

using testing::TempFolder;

// A take holding `bytes`, written at its position as libsndfile would.
void hold(TakeFile& take, const std::string& bytes) {
    ASSERT_TRUE(take.create());
    ASSERT_EQ(take.write(bytes.data(), static_cast<std::int64_t>(bytes.size())),
              static_cast<std::int64_t>(bytes.size()));
}

struct SaveCase {
    const char* name;
    std::string file_name;
    // What a file of that name held before the save; none: there was none.
    std::optional<std::string> already_there;
    TakeFile::Saved outcome;
    // What the name holds afterwards.
    std::string kept;
};

void PrintTo(const SaveCase& row, std::ostream* out) {
    *out << row.name;
}

class SaveTakeFile : public ::testing::TestWithParam<SaveCase> {};

TEST_P(SaveTakeFile, StoresUnderTheNameOrLeavesWhatIsThere) {
    const SaveCase& row = GetParam();
    TempFolder folder;
    if (row.already_there) {
        folder.write(row.file_name, *row.already_there);
    }
    TakeFile take(folder.path());
    hold(take, "the take");
    EXPECT_EQ(take.save_as(row.file_name), row.outcome);
    take.discard();
    EXPECT_EQ(folder.names(), std::vector<std::string>{row.file_name});
    EXPECT_EQ(folder.read(row.file_name), row.kept);
}

INSTANTIATE_TEST_SUITE_P(
    Names, SaveTakeFile,
    ::testing::Values(
        SaveCase{"FreeName", "take.wav", std::nullopt, TakeFile::Saved::kStored, "the take"},
        SaveCase{"TakenName", "take.wav", "someone else's", TakeFile::Saved::kNameTaken,
                 "someone else's"},
        SaveCase{"EmptyFileStillCounts", "take.wav", "", TakeFile::Saved::kNameTaken, ""},
        // The letters are UTF-8: on Windows they pass through UTF-16.
        SaveCase{"NameBeyondAscii", "Caf\xC3\xA9_Ops_9-05-07-PM_9-05-31-PM_12-05-2026.wav",
                 std::nullopt, TakeFile::Saved::kStored, "the take"}),
    [](const auto& info) { return std::string(info.param.name); });

// Whatever ends the life of what holds a take (an error unwinding it, say),
// the take stays for the next start to recover; only a discard removes it.
TEST(TakeFile, GoesOnlyWhenDiscarded) {
    TempFolder folder;
    std::string hidden;
    {
        TakeFile take(folder.path());
        hold(take, "the take");
        hidden = std::filesystem::path(take.hidden_path()).filename().string();
    }
    EXPECT_EQ(folder.names(), std::vector<std::string>{hidden});
    EXPECT_EQ(folder.read(hidden), "the take");
    TakeFile take(folder.path());
    hold(take, "another");
    take.discard();
    EXPECT_EQ(folder.names(), std::vector<std::string>{hidden});
}

TEST(TakeFile, WritersRacingForOneNameNeverReplaceEachOther) {
    constexpr int kWriters = 6;
    for (int round = 0; round < 10; ++round) {
        TempFolder folder;
        std::vector<TakeFile::Saved> outcomes(kWriters);
        {
            std::latch ready(kWriters);
            std::vector<std::jthread> writers;
            for (int i = 0; i < kWriters; ++i) {
                writers.emplace_back([&, i] {
                    TakeFile take(folder.path());
                    const std::string bytes = "writer " + std::to_string(i);
                    const auto size = static_cast<std::int64_t>(bytes.size());
                    const bool held = take.create() && take.write(bytes.data(), size) == size;
                    ready.arrive_and_wait();
                    outcomes[i] = held ? take.save_as("take.wav") : TakeFile::Saved::kFailed;
                    take.discard();
                });
            }
        }
        int stored = 0;
        std::string winner;
        for (int i = 0; i < kWriters; ++i) {
            if (outcomes[i] == TakeFile::Saved::kStored) {
                ++stored;
                winner = "writer " + std::to_string(i);
            } else {
                EXPECT_EQ(outcomes[i], TakeFile::Saved::kNameTaken) << "writer " << i;
            }
        }
        ASSERT_EQ(stored, 1) << "round " << round;
        EXPECT_EQ(folder.read("take.wav"), winner) << "round " << round;
        EXPECT_EQ(folder.names(), std::vector<std::string>{"take.wav"});
    }
}

}  // namespace
}  // namespace taperly
