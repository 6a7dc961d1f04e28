// A take's tags, written into the room its header keeps for them after the
// sound has begun, as a take's names come only at its end: the tools people
// use read them, and read every sample where it was.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "recorder/takes/wave_file_writer.h"
#include "recorder/wave_test_support.h"
#include "support/take_readers.h"
#include "support/temp_folder.h"

namespace taperly {
namespace {

using testing::numbered_frames;

TEST(TakeTags, ReadersFindThemAndEverySampleWhereItWas) {
    testing::TempFolder folder;
    WaveFileWriter writer(folder.path());
    TakeTags start;
    start.created = "2026-12-05T21:05:07-05:00";
    start.origination_date = "2026-12-05";
    start.origination_time = "21:05:07";
    start.time_reference = 75907ULL * kTakeSampleRate;
    start.software = "Taperly 1.0";
    writer.describe(start);
    ASSERT_TRUE(writer.begin("9-05-07-PM_12-05-2026"));
    writer.append(numbered_frames(0, 15000));
    TakeTags whole = start;
    whole.title = "Caf\u00e9, \"Nord\"";
    // Longer than its room (1023 bytes): cut where a character ends.
    whole.comment = "Talkgroup: " + std::string(1011, 'x') + "\u00e9\u00e9";
    writer.describe(whole);
    writer.append(numbered_frames(15000, 15000));
    ASSERT_EQ(writer.save_as("take.wav"), TakeWriter::Saved::kStored);
    const std::string take = folder.file("take.wav");

    std::map<std::string, std::string> tags = testing::ffprobe_tags(take);
    EXPECT_EQ(tags["title"], whole.title);
    EXPECT_EQ(tags["comment"], whole.comment.substr(0, 1022)) << "cut inside a character";
    EXPECT_EQ(tags["date"], whole.created);
    EXPECT_EQ(tags["encoder"], "Taperly 1.0");
    EXPECT_EQ(tags["encoded_by"], "Taperly") << "the originator";
    EXPECT_EQ(tags["time_reference"], std::to_string(start.time_reference));

    EXPECT_TRUE(testing::wave_header_matches_length(take));
    const std::vector<std::int16_t> sent = numbered_frames(0, 30000);
    EXPECT_EQ(testing::read_wave(take).samples, sent) << "libsndfile";
    for (const char* reader : testing::kSampleReaders) {
        EXPECT_EQ(testing::decoded_by(reader, take), sent) << reader;
    }
}

}  // namespace
}  // namespace taperly
