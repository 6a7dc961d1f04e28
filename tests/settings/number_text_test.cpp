#include "settings/number_text.h"

#include <gtest/gtest.h>

#include <cmath>

namespace taperly {
namespace {

struct Reading {
    const char* text;
    double value;
};

class LeadingNumber : public ::testing::TestWithParam<Reading> {};

TEST_P(LeadingNumber, ReadsTheLeadingNumberLeniently) {
    EXPECT_DOUBLE_EQ(leading_number(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LeadingNumber,
    ::testing::Values(Reading{"12abc", 12}, Reading{"2 50", 250}, Reading{"1,5", 1},
                      Reading{"abc", 0}, Reading{"", 0}, Reading{"\t 7\t", 7}, Reading{"-1", -1},
                      Reading{"+3", 3}, Reading{"99.5", 99.5}, Reading{"1.2.3", 1.2},
                      Reading{".5", 0.5}, Reading{"2e2", 200}, Reading{"2E+1x", 20},
                      Reading{"2e", 2}, Reading{"2e-x", 2}, Reading{"250ms", 250},
                      Reading{"1\n0", 10}, Reading{"-", 0}, Reading{"1e-999", 0},
                      Reading{"9600,n,8,1", 9600}));

TEST(LeadingNumber, HugeExponentReadsAsInfinity) {
    EXPECT_TRUE(std::isinf(leading_number("1e999")));
}

struct Rounding {
    double value;
    double rounded;
};

class RoundHalfToEven : public ::testing::TestWithParam<Rounding> {};

TEST_P(RoundHalfToEven, GoesToTheEvenNeighbourOnAnExactHalf) {
    EXPECT_EQ(round_half_to_even(GetParam().value), GetParam().rounded);
}

INSTANTIATE_TEST_SUITE_P(Values, RoundHalfToEven,
                         ::testing::Values(Rounding{2.5, 2}, Rounding{3.5, 4}, Rounding{99.5, 100},
                                           Rounding{100.5, 100}, Rounding{1.5, 2},
                                           Rounding{250.5, 250}, Rounding{-0.5, 0},
                                           Rounding{-1.5, -2}, Rounding{2.4, 2}, Rounding{2.6, 3}));

}  // namespace
}  // namespace taperly
