// The stars file as keeping and the Takes window read it: a name's last row
// decides, a row a power cut cut short is no row, and no file stars nothing
// where a file that cannot be read says nothing at all.
#include "archive/star_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace taperly::testing {
namespace {

struct StarCase {
    const char* what;
    std::function<void(TempFolder&)> make;
    std::optional<std::vector<std::string>> starred;
};

TEST(StarFile, ReadsTheStarsGivenLast) {
    const std::vector<StarCase> cases = {
        {"no file: no star", [](TempFolder&) {}, std::vector<std::string>{}},
        {"a star given, taken away, given again",
         [](TempFolder& folder) {
             const StarFile stars(folder.path());
             ASSERT_TRUE(stars.write({"a.wav", "b, \"c\".wav"}, true, "t1"));
             ASSERT_TRUE(stars.write({"a.wav"}, false, "t2"));
             ASSERT_TRUE(stars.write({"d.wav", "a.wav"}, true, "t3"));
             ASSERT_TRUE(stars.write({"d.wav"}, false, "t4"));
         },
         std::vector<std::string>{"a.wav", "b, \"c\".wav"}},
        {"a row cut short by a power cut",
         [](TempFolder& folder) {
             ASSERT_TRUE(StarFile(folder.path()).write({"a.wav"}, true, "t1"));
             std::ofstream(folder.file(StarFile::kName), std::ios::app) << "t2,b.wav,sta";
         },
         std::vector<std::string>{"a.wav"}},
        {"a file that cannot be read",
         [](TempFolder& folder) {
             std::filesystem::create_directory(folder.file(StarFile::kName));
         },
         std::nullopt},
    };
    for (const StarCase& row : cases) {
        SCOPED_TRACE(row.what);
        TempFolder folder;
        row.make(folder);
        EXPECT_EQ(StarFile(folder.path()).starred(), row.starred);
    }
}

}  // namespace
}  // namespace taperly::testing
