// Capture through WASAPI on real parts: Wine's PulseAudio driver takes the
// sound of the private test server's default input, a 1000 Hz tone at a
// peak of 16000 written in real time.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QtGlobal>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <span>
#include <vector>

#include "recorder/capture/make_audio_input.h"
#include "recorder/sound_test_support.h"

namespace taperly {
namespace {

using namespace std::chrono_literals;
using testing::run_events_until;

struct Delivery {
    std::size_t frames;
    std::chrono::milliseconds newest_at;
};

TEST(WasapiCapture, DeliversTheToneWholeAtTheTakesRateByItsOwnDates) {
    const auto input = make_audio_input();
    ASSERT_TRUE(input->available()) << input->problem();
    std::vector<std::int16_t> frames;
    std::vector<Delivery> deliveries;
    ASSERT_TRUE(input->start([&](std::span<const std::int16_t> more, std::chrono::milliseconds at) {
        frames.insert(frames.end(), more.begin(), more.end());
        deliveries.push_back({frames.size(), at});
    })) << input->problem();
    input->set_in_take(true);
    run_events_until(std::chrono::steady_clock::now() + 4s, [] { return false; });
    ASSERT_TRUE(input->running()) << input->problem();
    input->deliver_up_to_now();
    input->stop();
    ASSERT_GE(deliveries.size(), 3u) << "the sound came in too few pieces to be dated";

    // What came after the first piece, against the time its dates span: the
    // first holds what the device had gathered before it was dated.
    const Delivery& first = deliveries.front();
    const Delivery& last = deliveries.back();
    const double seconds = std::chrono::duration<double>(last.newest_at - first.newest_at).count();
    ASSERT_GT(seconds, 2.0) << "dates of " << deliveries.size() << " pieces";
    const double due = seconds * 22050;
    const auto came = static_cast<double>(last.frames - first.frames);
    EXPECT_NEAR(came, due, 0.03 * due);
    std::cout << came << " frames came where " << due << " were due by their dates\n";

    const std::vector<std::int16_t> steady(frames.begin() + 22050 / 5, frames.end());
    EXPECT_NEAR(testing::tone_frequency(steady, 22050), 1000, 2);
    const double peak = testing::rms(steady) * std::sqrt(2.0);
    EXPECT_NEAR(peak, 16000, 0.03 * 16000);
    EXPECT_EQ(testing::tone_breaks(frames, 1000, 22050, peak, 22050 / 5),
              std::vector<std::size_t>{});
}

// Wine names each of the server's inputs after its description, which holds
// the pipe's path; a part of it in another case picks the 440 Hz one.
TEST(WasapiCapture, TheDeviceAPartOfItsNameNamesIsTaken) {
    qputenv("TAPERLY_AUDIO_INPUT", "TONE-440");
    const auto input = make_audio_input();
    std::vector<std::int16_t> frames;
    ASSERT_TRUE(input->start([&](std::span<const std::int16_t> more, std::chrono::milliseconds) {
        frames.insert(frames.end(), more.begin(), more.end());
    })) << input->problem();
    run_events_until(std::chrono::steady_clock::now() + 2s, [] { return false; });
    input->deliver_up_to_now();
    EXPECT_TRUE(input->running()) << input->problem();
    input->stop();
    qunsetenv("TAPERLY_AUDIO_INPUT");
    ASSERT_GT(frames.size(), 22050u / 2);
    EXPECT_NEAR(testing::tone_frequency({frames.begin() + 22050 / 5, frames.end()}, 22050), 440, 2);
}

// Another device than the one asked for is never taken: it would fill takes
// with the wrong sound and look like success.
TEST(WasapiCapture, ADeviceNoneMatchesIsReportedNotReplaced) {
    qputenv("TAPERLY_AUDIO_INPUT", "no such recording device");
    const auto input = make_audio_input();
    input->available();
    EXPECT_TRUE(run_events_until(std::chrono::steady_clock::now() + 5s,
                                 [&] { return !input->available(); }));
    EXPECT_EQ(input->problem(),
              "no sound input matches TAPERLY_AUDIO_INPUT=no such recording device");
    EXPECT_FALSE(input->start([](std::span<const std::int16_t>, std::chrono::milliseconds) {}));
    EXPECT_FALSE(input->running());
    qunsetenv("TAPERLY_AUDIO_INPUT");
}

}  // namespace
}  // namespace taperly

// Its own main, as the capture delivers through a Qt event loop; it takes the
// place of GoogleTest's.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
