#include "link/reply_fields.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace taperly {
namespace {

struct Recognition {
    const char* name;
    std::string text;
    bool status;
    bool identity;
    int highest_index;
};

class ReplyRecognition : public ::testing::TestWithParam<Recognition> {};

TEST_P(ReplyRecognition, RecognisesByTheFirstThreeCharactersAndCountsFields) {
    const Recognition& c = GetParam();
    EXPECT_EQ(is_status_reply(c.text), c.status);
    EXPECT_EQ(is_identity_reply(c.text), c.identity);
    EXPECT_EQ(ReplyFields(c.text).highest_index(), c.highest_index);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyRecognition,
    ::testing::Values(Recognition{"status_twelve_fields", "STS,a,,b,,,,,,0,,x\r", true, false, 11},
                      Recognition{"status_eleven_fields", "STS,a,,b,,,,,,0,x\r", true, false, 10},
                      Recognition{"identity", "GID,x,1234,y,Metro,Fire,Dispatch\r", false, true, 6},
                      Recognition{"lower_case_status", "sts,a,,b,,,,,,0,,x\r", false, false, 11},
                      Recognition{"starts_mid_reply", ",0,,x\rSTS,a", false, false, 4},
                      Recognition{"status_later_in_text", "xSTS,a,,b,,,,,,0,,x\r", false, false,
                                  11},
                      Recognition{"too_short", "ST", false, false, 0},
                      Recognition{"empty", "", false, false, 0},
                      Recognition{"only_commas", ",,,", false, false, 3},
                      Recognition{"key_answer", "KEY,OK\r", false, false, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReplyFields, SplitsAtEveryCommaKeepingEmptyFieldsAndSpaces) {
    const ReplyFields fields("STS, Metro ,,  ,x\r\n");
    ASSERT_EQ(fields.highest_index(), 4);
    EXPECT_EQ(fields.at(1), " Metro ");
    EXPECT_EQ(fields.at(2), "");
    EXPECT_EQ(fields.at(3), "  ");
    EXPECT_EQ(fields.at(4), "x\r\n");
}

TEST(ReplyFields, LastFieldCarriesTheCarriageReturnAndWhatFollows) {
    const ReplyFields fields("GID,a,b,c,SYS,GRP,TG\rSTS");
    EXPECT_EQ(fields.at(6), "TG\rSTS");
}

TEST(ReplyFields, ReadingBeyondTheHighestIndexThrowsInsteadOfReadingPastTheEnd) {
    const ReplyFields fields("STS,a");
    EXPECT_THROW(fields.at(2), MissingField);
    EXPECT_THROW(fields.at(-1), MissingField);
    ReplyFields rejoined("STS,a,b");
    EXPECT_THROW(rejoined.rejoin(1, 2), MissingField);
    rejoined.rejoin(0, 2);
    EXPECT_EQ(rejoined.at(0), "STS,a,b");
}

TEST(ReplyFields, KeepsZeroBytesAndHighBytes) {
    const std::string text("STS,a\0b,\xE9", 9);
    const ReplyFields fields(text);
    EXPECT_EQ(fields.at(1), std::string("a\0b", 3));
    EXPECT_EQ(fields.at(2), "\xE9");
}

}  // namespace
}  // namespace taperly
