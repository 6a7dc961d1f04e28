// The bench's readings are only worth what its reader is: a reader that
// missed a gap would report "0 lost samples" for a broken recorder.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/signal_code.h"
#include "bench/take_reading.h"

namespace taperly::bench {
namespace {

std::vector<std::int16_t> feed(std::int64_t from, std::int64_t to) {
    std::vector<std::int16_t> frames;
    for (std::int64_t n = from; n < to; ++n) {
        frames.push_back(signal_sample(n));
    }
    return frames;
}

void append(std::vector<std::int16_t>& frames, const std::vector<std::int16_t>& more) {
    frames.insert(frames.end(), more.begin(), more.end());
}

struct Damage {
    const char* what;
    std::vector<std::int16_t> frames;
    std::int64_t lost;
    std::int64_t duplicated;
    std::int64_t altered;
    std::int64_t first;
    std::int64_t last;
};

std::vector<std::int16_t> joined(std::vector<std::vector<std::int16_t>> parts) {
    std::vector<std::int16_t> frames;
    for (const auto& part : parts) {
        append(frames, part);
    }
    return frames;
}

std::vector<std::int16_t> with_changed_sample(std::vector<std::int16_t> frames, std::size_t at) {
    frames[at] = static_cast<std::int16_t>(frames[at] + 3);
    return frames;
}

class ContinuityTest : public ::testing::TestWithParam<Damage> {};

TEST_P(ContinuityTest, CountsWhatHappenedToTheFeed) {
    const Damage& damage = GetParam();
    const Continuity c = check_continuity(damage.frames);
    EXPECT_EQ(c.frames, static_cast<std::int64_t>(damage.frames.size()));
    EXPECT_EQ(c.lost, damage.lost);
    EXPECT_EQ(c.duplicated, damage.duplicated);
    EXPECT_EQ(c.altered, damage.altered);
    ASSERT_TRUE(c.first_number.has_value());
    EXPECT_EQ(*c.first_number, damage.first);
    EXPECT_EQ(*c.last_number, damage.last);
}

INSTANTIATE_TEST_SUITE_P(
    Recordings, ContinuityTest,
    ::testing::Values(
        Damage{"whole", feed(1000, 5000), 0, 0, 0, 1000, 4999},
        Damage{"starts on an odd sample", feed(1001, 5000), 0, 0, 0, 1001, 4999},
        Damage{"far into the feed", feed(500'000'000, 500'010'000), 0, 0, 0, 500'000'000,
               500'009'999},
        Damage{"even gap", joined({feed(0, 2000), feed(2100, 4000)}), 100, 0, 0, 0, 3999},
        Damage{"odd gap", joined({feed(0, 2001), feed(2038, 4000)}), 37, 0, 0, 0, 3999},
        Damage{"one sample lost", joined({feed(0, 2000), feed(2001, 4000)}), 1, 0, 0, 0, 3999},
        Damage{"repeated stretch", joined({feed(0, 3000), feed(2500, 4000)}), 0, 500, 0, 0, 3999},
        Damage{"one sample repeated", joined({feed(0, 3001), feed(3000, 4000)}), 0, 1, 0, 0, 3999},
        Damage{"changed sample", with_changed_sample(feed(0, 4000), 1234), 0, 0, 1, 0, 3999},
        Damage{"silence inside",
               joined({feed(0, 2000), std::vector<std::int16_t>(50, 0), feed(2000, 4000)}), 0, 0,
               50, 0, 3999}),
    [](const ::testing::TestParamInfo<Damage>& info) {
        std::string name = info.param.what;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) {
                c = '_';
            }
        }
        return name;
    });

TEST(ContinuityTest, SilenceHoldsNoFeed) {
    const Continuity c = check_continuity(std::vector<std::int16_t>(1000, 0));
    EXPECT_FALSE(c.first_number.has_value());
}

TEST(TakeSpanTest, PlacesATakeByTheSignalInsideIt) {
    // 300 samples of silence, the feed's samples 5000 to 9000, 200 of silence:
    // the take covers 4700 to 9200 of the feed's time.
    const auto frames = joined(
        {std::vector<std::int16_t>(300, 0), feed(5000, 9000), std::vector<std::int16_t>(200, 0)});
    const auto span = take_span(frames);
    ASSERT_TRUE(span.has_value());
    EXPECT_EQ(span->start, 4700);
    EXPECT_EQ(span->end, 9200);
    EXPECT_FALSE(take_span(std::vector<std::int16_t>(500, 0)).has_value());
}

}  // namespace
}  // namespace taperly::bench
