#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "recorder/wave_recorder.h"

namespace taperly {
namespace {

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

struct BareNameCase {
    const char* name;
    std::string file_name;
    bool bare_on_linux;
    // Windows also takes "\" for a separator and ":" for a drive or a stream.
    bool bare_on_windows;
};

void PrintTo(const BareNameCase& row, std::ostream* out) {
    *out << row.name;
}

class BareFileName : public ::testing::TestWithParam<BareNameCase> {};

TEST_P(BareFileName, OnlyNamesThatStayInTheTakesFolder) {
    const BareNameCase& row = GetParam();
    EXPECT_EQ(is_bare_file_name(row.file_name), kWindows ? row.bare_on_windows : row.bare_on_linux);
}

INSTANTIATE_TEST_SUITE_P(
    Names, BareFileName,
    ::testing::Values(BareNameCase{"Plain", "take.wav", true, true},
                      BareNameCase{"Parent", "..", false, false},
                      BareNameCase{"SlashedFolder", "sub/take.wav", false, false},
                      BareNameCase{"BackslashedFolder", "sub\\take.wav", true, false},
                      BareNameCase{"Stream", "take.wav:hidden", true, false},
                      BareNameCase{"DriveRelative", "C:take.wav", true, false},
                      BareNameCase{"ZeroByte", std::string("a\0b.wav", 7), false, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace taperly
