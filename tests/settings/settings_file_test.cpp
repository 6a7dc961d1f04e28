#include "settings/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <vector>

#include "settings/file_exists.h"
#include "support/temp_folder.h"

namespace taperly {
namespace {

using testing::TempFolder;

// Records what loading did, in order.
class RecordingTarget : public SettingsTarget {
  public:
    void select_port(int index) override { log.push_back("port " + std::to_string(index)); }
    void select_speed(int index) override { log.push_back("speed " + std::to_string(index)); }
    void set_poll_interval(int ms) override { log.push_back("interval " + std::to_string(ms)); }
    std::vector<std::string> log;
};

TEST(SaveSettings, WritesThreeLinesExactly) {
    TempFolder folder;
    folder.write(kSettingsFileName, "9\r\n3\r\n250\r\nold\r\nlines\r\n");
    save_settings(folder.path(), 2, 0, 100);
    EXPECT_EQ(folder.read(kSettingsFileName), "2\r\n0\r\n100\r\n");
    save_settings(folder.path(), -1, -1, 5);
    EXPECT_EQ(folder.read(kSettingsFileName), "-1\r\n-1\r\n5\r\n");
}

TEST(SaveSettings, ReportsAFolderThatCannotBeWritten) {
#ifndef _WIN32
    if (geteuid() != 0) {
        TempFolder folder;
        chmod(folder.path().c_str(), 0500);
        EXPECT_THROW(save_settings(folder.path(), 0, 0, 100), SettingsError);
        return;
    }
#endif
    // root writes anywhere, and Windows writes into a folder marked
    // read-only; use a folder that does not exist instead.
    EXPECT_THROW(save_settings("/nonexistent/taperly", 0, 0, 100), SettingsError);
}

TEST(SaveSettings, ErrorNamesThePathAndTheReason) {
    const std::string path = std::string("/nonexistent/taperly") +
                             static_cast<char>(std::filesystem::path::preferred_separator) +
                             "com_settings.txt";
    try {
        save_settings("/nonexistent/taperly", 0, 0, 100);
        FAIL() << "no error";
    } catch (const SettingsError& error) {
        EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("No such file"), std::string::npos);
    }
}

TEST(SaveSettings, FolderNamedBeyondAsciiIsWrittenAndReadBackThere) {
    TempFolder folder;
    const std::string home = folder.file("Jos\xC3\xA9");
    std::filesystem::create_directory(TempFolder::native(home));
    save_settings(home, 2, 1, 250);
    RecordingTarget target;
    EXPECT_TRUE(load_settings(home, target));
    EXPECT_EQ(target.log, (std::vector<std::string>{"port 2", "speed 1", "interval 250"}));
    EXPECT_EQ(folder.read("Jos\xC3\xA9/com_settings.txt"), "2\r\n1\r\n250\r\n");
}

TEST(LoadSettings, MissingFileChangesNothing) {
    TempFolder folder;
    RecordingTarget target;
    EXPECT_FALSE(load_settings(folder.path(), target));
    EXPECT_TRUE(target.log.empty());
}

struct StoredCase {
    const char* name;
    const char* bytes;
    std::vector<std::string> applied;
};

class LoadSettingsLines : public ::testing::TestWithParam<StoredCase> {};

TEST_P(LoadSettingsLines, AppliesPortThenSpeedThenInterval) {
    TempFolder folder;
    folder.write(kSettingsFileName, GetParam().bytes);
    RecordingTarget target;
    EXPECT_TRUE(load_settings(folder.path(), target));
    EXPECT_EQ(target.log, GetParam().applied);
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadSettingsLines,
    ::testing::Values(
        StoredCase{"complete", "2\r\n1\r\n250\r\n", {"port 2", "speed 1", "interval 250"}},
        StoredCase{"empty", "", {}},
        StoredCase{"lf_only", "2\n1\n250\n", {"port 2", "speed 1", "interval 250"}},
        StoredCase{"no_final_line_end", "2\r\n1\r\n250", {"port 2", "speed 1", "interval 250"}},
        StoredCase{"later_lines_ignored",
                   "1\r\n2\r\n300\r\n9\r\n9\r\n",
                   {"port 1", "speed 2", "interval 300"}},
        StoredCase{"only_port", "4\r\n", {"port 4"}},
        StoredCase{
            "halves_to_even", "2.5\r\n3.5\r\n99.5\r\n", {"port 2", "speed -1", "interval 100"}},
        StoredCase{"half_hundred", "3.5\r\n0\r\n100.5\r\n", {"port 4", "speed 0", "interval 100"}},
        StoredCase{"letters_select_first", "abc\r\nxyz\r\nms\r\n", {"port 0", "speed 0"}},
        StoredCase{
            "interval_with_unit", "0\r\n0\r\n250ms\r\n", {"port 0", "speed 0", "interval 250"}},
        StoredCase{
            "interval_with_blank", "0\r\n0\r\n2 50\r\n", {"port 0", "speed 0", "interval 250"}},
        StoredCase{"interval_zero", "0\r\n0\r\n0\r\n", {"port 0", "speed 0"}},
        StoredCase{"interval_rounds_to_zero", "0\r\n0\r\n0.4\r\n", {"port 0", "speed 0"}},
        StoredCase{"interval_negative", "0\r\n0\r\n-100\r\n", {"port 0", "speed 0"}},
        StoredCase{"interval_too_long", "0\r\n0\r\n3000000000\r\n", {"port 0", "speed 0"}},
        StoredCase{"minus_one_selects_nothing",
                   "-1\r\n-1\r\n100\r\n",
                   {"port -1", "speed -1", "interval 100"}},
        StoredCase{
            "indexes_out_of_range", "10\r\n4\r\n100\r\n", {"port -1", "speed -1", "interval 100"}},
        StoredCase{
            "indexes_far_out_of_range", "-40000\r\n1e300\r\n1e300\r\n", {"port -1", "speed -1"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileExists, CountsFilesAndLinksButNotFolders) {
    TempFolder folder;
    folder.write("take.wav", "x");
#ifndef _WIN32
    // Making a symbolic link on Windows takes a privilege users lack.
    ASSERT_EQ(symlink("nowhere", folder.file("dangling.wav").c_str()), 0);
    EXPECT_TRUE(file_exists(folder.file("dangling.wav")));
#endif
    EXPECT_TRUE(file_exists(folder.file("take.wav")));
    EXPECT_FALSE(file_exists(folder.file("missing.wav")));
    EXPECT_FALSE(file_exists(folder.path()));
}

}  // namespace
}  // namespace taperly
