#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "recorder/takes/take_file.h"
#include "support/temp_folder.h"
#include "tracking/file_name_limits.h"
#include "tracking/take_naming.h"

namespace taperly {
namespace {

using testing::TempFolder;

const std::string kTimes = "_9-05-07-PM_9-05-31-PM_12-05-2026.wav";

// The name a take gets from these scanner texts (Latin-1) in `folder`.
std::string take_name(std::vector<std::string> texts, const std::string& folder) {
    for (std::string& text : texts) {
        clean_name_piece(text, refused_name_characters(folder));
    }
    return compose_take_name(texts, "9-05-07-PM", "9-05-31-PM", "12-05-2026",
                             take_name_room(folder));
}

// Whether Windows itself takes the name: a take saved under it is listed so.
void expect_saved_under(const TempFolder& folder, const std::string& name) {
    TakeFile take(folder.path());
    ASSERT_TRUE(take.create());
    ASSERT_EQ(take.write("RIFF", 4), 4);
    EXPECT_EQ(take.save_as(name), TakeFile::Saved::kStored);
    take.discard();
    EXPECT_EQ(folder.names(), std::vector<std::string>{name});
}

struct WindowsNameCase {
    const char* name;
    std::vector<std::string> texts;
    std::string file_name;
};

void PrintTo(const WindowsNameCase& row, std::ostream* out) {
    *out << row.name;
}

class WindowsNames : public ::testing::TestWithParam<WindowsNameCase> {};

TEST_P(WindowsNames, AreCleanedOfWhatWindowsRefusesAndSaved) {
    TempFolder folder;
    const std::string name = take_name(GetParam().texts, folder.path());
    EXPECT_EQ(name, GetParam().file_name);
    expect_saved_under(folder, name);
}

INSTANTIATE_TEST_SUITE_P(Names, WindowsNames,
                         ::testing::Values(WindowsNameCase{"AngleBracketsAndBar",
                                                           {"<x>|y", "a|b", "-"},
                                                           "-x--y_a-b_-" + kTimes},
                                           WindowsNameCase{"EveryRefusedCharacter",
                                                           {"a/b\\c:d*e?f\"g<h>i|j", "-", "-"},
                                                           "a-b-c-d-e-f-g-h-i-j_-_-" + kTimes},
                                           WindowsNameCase{"ControlCharacters",
                                                           {std::string("a\0b\x1f"
                                                                        "c\x7f",
                                                                        6),
                                                            "\t", "-"},
                                                           "a-b-c-_-_-" + kTimes},
                                           WindowsNameCase{"UnderscoreHyphenAndDotsStay",
                                                           {"Ops_1.2", "-x-", "."},
                                                           "Ops_1.2_-x-_." + kTimes},
                                           WindowsNameCase{"LettersBeyondAscii",
                                                           {"Caf\xE9", "Z\xFCrich", "-"},
                                                           "Caf\xC3\xA9_Z\xC3\xBCrich_-" + kTimes}),
                         [](const auto& info) { return std::string(info.param.name); });

// As on Linux the longest text gives way and the times and date stay whole,
// here until the whole path is short enough for Explorer and players.
TEST(WindowsNames, InADeepFolderTheNameIsShortenedSoTheWholePathFits) {
    TempFolder base;
    const std::string deep = std::string(120, 'd');
    std::filesystem::create_directory(TempFolder::native(base.file(deep)));
    const std::string folder = base.file(deep);
    const std::string name = take_name({std::string(200, 't'), "b", "c"}, folder);
    EXPECT_LE(folder.size() + 1 + name.size(), 259u);
    EXPECT_EQ(name.substr(name.size() - kTimes.size() - 4), "_b_c" + kTimes);
    EXPECT_EQ(name.front(), 't');
    TakeFile take(folder);
    ASSERT_TRUE(take.create());
    EXPECT_EQ(take.save_as(name), TakeFile::Saved::kStored);
    take.discard();
}

}  // namespace
}  // namespace taperly
