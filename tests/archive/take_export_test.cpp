// Exports as a user hands them on: takes copied with their rows, and takes
// joined into one WAV file whose cue points and labels stand where each
// take begins, every sample as it was.
#include "archive/take_export.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "archive/log_stream.h"
#include "archive_fixture.h"
#include "recorder/wave_test_support.h"

namespace taperly::testing {
namespace {

ArchivedTake take_of(const std::string& name, const std::string& start, const std::string& label,
                     std::int64_t milliseconds) {
    ArchivedTake take;
    take.id = utc_at(start) << 20;
    take.facts.file_name = name;
    take.facts.start = utc_at(start);
    take.facts.utc_offset = at(start).wall.utc_offset_seconds;
    take.facts.texts.talkgroup = label;
    take.facts.milliseconds = milliseconds;
    return take;
}

std::vector<std::int16_t> ramp(std::int16_t first, std::size_t count) {
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<std::int16_t>(first + static_cast<int>(i % 2000) * 7);
    }
    return samples;
}

std::string wave_of(const std::vector<std::int16_t>& samples) {
    std::string bytes = wave_take({}, 0);
    bytes.erase(bytes.size() - 4);
    const auto size = static_cast<std::uint32_t>(samples.size() * 2);
    for (int i = 0; i < 4; ++i) {
        bytes += static_cast<char>(size >> (8 * i));
    }
    bytes.append(reinterpret_cast<const char*>(samples.data()), samples.size() * 2);
    std::uint32_t riff = static_cast<std::uint32_t>(bytes.size() - 8);
    std::memcpy(bytes.data() + 4, &riff, 4);
    return bytes;
}

std::uint32_t u32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

// The cue points of a WAV file, each with its label.
std::map<std::uint32_t, std::string> cues_of(const std::string& bytes) {
    std::map<std::uint32_t, std::uint32_t> points;
    std::map<std::uint32_t, std::string> labels;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id = bytes.substr(at, 4);
        const std::uint32_t size = u32(bytes, at + 4);
        if (id == "cue ") {
            for (std::uint32_t i = 0; i < u32(bytes, at + 8); ++i) {
                const std::size_t point = at + 12 + i * 24;
                EXPECT_EQ(bytes.substr(point + 8, 4), "data");
                EXPECT_EQ(u32(bytes, point + 4), u32(bytes, point + 20));
                points[u32(bytes, point)] = u32(bytes, point + 20);
            }
        } else if (id == "LIST" && bytes.substr(at + 8, 4) == "adtl") {
            for (std::size_t sub = at + 12; sub < at + 8 + size;) {
                const std::uint32_t length = u32(bytes, sub + 4);
                EXPECT_EQ(bytes.substr(sub, 4), "labl");
                labels[u32(bytes, sub + 8)] = bytes.substr(sub + 12).c_str();
                sub += 8 + length + (length & 1);
            }
        }
        at += 8 + size + (size & 1);
    }
    std::map<std::uint32_t, std::string> cues;
    for (const auto& [name, frame] : points) {
        cues[frame] = labels[name];
    }
    return cues;
}

class TakeExport : public ::testing::Test {
  protected:
    void SetUp() override {
        folder.write("one.wav", wave_of(first));
        two = write_flac(folder.path(), "two", second, {});
        folder.write("three.wav", wave_of(third));
        takes = {take_of("one.wav", "2026-12-05T23:59:58-05:00", "Fire Dispatch", 1000),
                 take_of(two, "2026-12-06T00:00:03-05:00", "Café Ops", 2000),
                 take_of("three.wav", "2026-12-06T10:00:00+01:00", "", 500)};
        takes[2].facts.texts.display_line1 = "Harbor";
    }

    const std::vector<std::int16_t> first = ramp(-3000, 22050);
    const std::vector<std::int16_t> second = ramp(100, 44100);
    const std::vector<std::int16_t> third = ramp(-32768, 11025);
    TempFolder folder;
    TempFolder target;
    // FLAC, or WAV where this libsndfile writes no FLAC.
    std::string two;
    NewYorkishZone zone;
    std::vector<ArchivedTake> takes;
    const ExportProgress go_on = [](int) { return true; };
};

TEST_F(TakeExport, JoinedTakesHaveACuePointAndALabelWhereEachBegins) {
    target.write("night.wav", "a file of the user's");
    const ExportOutcome outcome =
        join_takes(folder.path(), takes, target.path(), "night.wav", zone, go_on);
    ASSERT_EQ(outcome.problem, "");
    ASSERT_EQ(outcome.made, std::vector<std::string>{"night_2.wav"});
    EXPECT_EQ(target.read("night.wav"), "a file of the user's");
    EXPECT_EQ(target.names(), (std::vector<std::string>{"night.wav", "night_2.wav"}));

    EXPECT_EQ(cues_of(target.read("night_2.wav")),
              (std::map<std::uint32_t, std::string>{
                  {0, "2026-12-05 23:59:58 Fire Dispatch"},
                  {22050, "2026-12-06 00:00:03 Café Ops"},
                  {22050 + 44100, "2026-12-06 10:00:00 Harbor"},
              }));
    std::vector<std::int16_t> every = first;
    every.insert(every.end(), second.begin(), second.end());
    every.insert(every.end(), third.begin(), third.end());
    const WaveContents joined = read_wave(target.file("night_2.wav"));
    EXPECT_EQ(joined.sample_rate, 22050);
    EXPECT_EQ(joined.channels, 1);
    EXPECT_TRUE(joined.samples == every);
    EXPECT_TRUE(wave_header_matches_length(target.file("night_2.wav")));
}

TEST_F(TakeExport, TakesOfAnotherFormatAreNotJoinedAndNothingIsLeft) {
    std::filesystem::remove(folder.file(two));
    ASSERT_EQ(write_flac(folder.path(), "two", second, {}, 44100), two);
    const ExportOutcome outcome =
        join_takes(folder.path(), takes, target.path(), "night.wav", zone, go_on);
    EXPECT_NE(outcome.problem.find(two), std::string::npos) << outcome.problem;
    EXPECT_EQ(outcome.takes, 0);
    EXPECT_EQ(target.names(), std::vector<std::string>{});
}

TEST_F(TakeExport, CopiedTakesComeWithTheirRowsAndReplaceNothing) {
    target.write(two, "a file of the user's");
    const std::string two_2 = "two_2" + two.substr(3);
    takes[2].present = false;
    const ExportOutcome outcome = copy_takes(folder.path(), takes, target.path(), zone, go_on);
    EXPECT_EQ(outcome.problem, "1 take is gone from the takes folder and left out");
    EXPECT_EQ(outcome.made, (std::vector<std::string>{"one.wav", two_2, "takes.csv"}));
    EXPECT_EQ(target.read("one.wav"), folder.read("one.wav"));
    EXPECT_EQ(target.read(two_2), folder.read(two));
    EXPECT_EQ(target.read(two), "a file of the user's");

    LogStream rows(target.file("takes.csv"), 0);
    ASSERT_TRUE(rows.is_log());
    std::vector<std::string> read;
    while (const auto row = rows.next()) {
        read.push_back(row->file_name + " " + iso_8601(*row->start) + " " + row->talkgroup + " " +
                       std::to_string(row->frames));
    }
    EXPECT_EQ(read,
              (std::vector<std::string>{"one.wav 2026-12-05T23:59:58-05:00 Fire Dispatch 22050",
                                        two_2 + " 2026-12-06T00:00:03-05:00 Café Ops 44100"}));
}

}  // namespace
}  // namespace taperly::testing
