#include "tracking/display_capture.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tracker_fixture.h"

namespace taperly {
namespace {

struct CaptureCase {
    const char* name;
    // Fields 1 and 3 of successive status replies of one take, as received.
    std::vector<std::pair<std::string, std::string>> lines;
    std::string scan_system1, scan_system2, scan_group1, scan_group2;
    std::string gotSystem1, GotSystem2, GotGroup1, GotGroup2;
};

class CaptureDisplayLines : public ::testing::TestWithParam<CaptureCase> {};

TEST_P(CaptureDisplayLines, KeepsTheFirstTextsOfATake) {
    const CaptureCase& c = GetParam();
    TakeState state;
    for (const auto& [line1, line2] : c.lines) {
        capture_display_lines(state, ReplyFields("STS," + line1 + ",," + line2 + ",,,,,1,0,3,0\r"));
    }
    EXPECT_EQ(state.scan_system1, c.scan_system1);
    EXPECT_EQ(state.scan_system2, c.scan_system2);
    EXPECT_EQ(state.scan_group1, c.scan_group1);
    EXPECT_EQ(state.scan_group2, c.scan_group2);
    EXPECT_EQ(state.gotSystem1, c.gotSystem1);
    EXPECT_EQ(state.GotSystem2, c.GotSystem2);
    EXPECT_EQ(state.GotGroup1, c.GotGroup1);
    EXPECT_EQ(state.GotGroup2, c.GotGroup2);
}

INSTANTIATE_TEST_SUITE_P(
    Takes, CaptureDisplayLines,
    ::testing::Values(
        CaptureCase{
            "second_different_line1",
            {{"Metro Trunk     ", "x"}, {"Metro Trunk", "x"}, {"Site 3", "x"}, {"Site 4", "x"}},
            "Metro Trunk",
            "Site 3",
            "x",
            "-",
            "1",
            "1",
            "1",
            "0"},
        CaptureCase{"hold_text_skipped_first",
                    {{"Scan Hold", ""}, {"  Metro  ", ""}},
                    "Metro",
                    "-",
                    "",
                    "-",
                    "1",
                    "0",
                    "1",
                    "0"},
        CaptureCase{"hold_text_not_taken_second",
                    {{"Metro", "a"}, {"Metro Hold", "a"}},
                    "Metro",
                    "-",
                    "a",
                    "-",
                    "1",
                    "0",
                    "1",
                    "0"},
        CaptureCase{"hold_is_case_sensitive",
                    {{"Metro", "a"}, {"Metro HOLD", "a"}},
                    "Metro",
                    "Metro HOLD",
                    "a",
                    "-",
                    "1",
                    "1",
                    "1",
                    "0"},
        CaptureCase{"third_word_of_second_line2",
                    {{"a", "SCAN"}, {"a", "Fire Disp"}, {"a", "ID  Fire 123"}},
                    "a",
                    "-",
                    "Fire Disp",
                    "Fire",
                    "1",
                    "0",
                    "1",
                    "1"},
        CaptureCase{"word_split_of_untrimmed_field",
                    {{"a", "Fire"}, {"a", " A B C"}},
                    "a",
                    "-",
                    "Fire",
                    "B",
                    "1",
                    "0",
                    "1",
                    "1"},
        CaptureCase{"press_any_key_exact_skipped",
                    {{"a", " Press Any Key  "}, {"a", "Fire"}},
                    "a",
                    "-",
                    "Fire",
                    "-",
                    "1",
                    "0",
                    "1",
                    "0"},
        CaptureCase{"press_any_key_other_spacing_taken",
                    {{"a", "  Press Any Key "}},
                    "a",
                    "-",
                    "Press Any Key",
                    "-",
                    "1",
                    "0",
                    "1",
                    "0"},
        CaptureCase{"scan_trimmed_is_skipped",
                    {{"a", "  SCAN  "}, {"a", "Fire"}},
                    "a",
                    "-",
                    "Fire",
                    "-",
                    "1",
                    "0",
                    "1",
                    "0"},
        CaptureCase{"empty_line_is_a_text", {{"   ", "  "}}, "", "-", "", "-", "1", "0", "1", "0"},
        CaptureCase{"second_line2_without_third_word_waits",
                    {{"a", "Fire"}, {"a", "Two words"}, {"a", "one two three"}},
                    "a",
                    "-",
                    "Fire",
                    "three",
                    "1",
                    "0",
                    "1",
                    "1"},
        CaptureCase{"same_line2_takes_no_word",
                    {{"a", "Fire One Two"}, {"a", "Fire One Two"}},
                    "a",
                    "-",
                    "Fire One Two",
                    "-",
                    "1",
                    "0",
                    "1",
                    "0"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace taperly
