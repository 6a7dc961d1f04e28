// SQLite, SoundTouch and libsndfile as built for each system: the features
// the Takes window's index, playback at 1.5x and 2x, and uploads in MP3 stand
// on. A library built without one of them (SQLite without FTS5, libsndfile
// without LAME) fails here, not in front of a user.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <soundtouch/SoundTouch.h>
#include <sqlite3.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace {

constexpr int kRate = 22050;

std::vector<float> tone(double hertz, double seconds, float level) {
    std::vector<float> samples(static_cast<std::size_t>(seconds * kRate));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = level * static_cast<float>(std::sin(2 * std::numbers::pi * hertz *
                                                         static_cast<double>(i) / kRate));
    }
    return samples;
}

// Rising zero crossings per second over the middle half, away from the
// fades a stretch or an encoder adds at the ends.
double frequency(const std::vector<float>& samples) {
    const std::size_t begin = samples.size() / 4;
    const std::size_t end = samples.size() * 3 / 4;
    int crossings = 0;
    for (std::size_t i = begin + 1; i < end; ++i) {
        crossings += samples[i - 1] < 0 && samples[i] >= 0 ? 1 : 0;
    }
    return crossings * static_cast<double>(kRate) / static_cast<double>(end - begin);
}

double rms(const std::vector<float>& samples) {
    double sum = 0;
    for (float sample : samples) {
        sum += static_cast<double>(sample) * sample;
    }
    return std::sqrt(sum / static_cast<double>(samples.size()));
}

// The texts a search matches, in the order they were inserted.
std::vector<std::string> matches(sqlite3* db, const std::string& query) {
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, "SELECT text FROM takes WHERE takes MATCH ? ORDER BY rowid",
                                 -1, &statement, nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_bind_text(statement, 1, query.c_str(), -1, SQLITE_TRANSIENT);
    std::vector<std::string> found;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        found.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    }
    sqlite3_finalize(statement);
    return found;
}

TEST(LibrariesTest, SqliteSearchesWordBeginningsIgnoringCaseAndAccents) {
    // The index is written by one thread and read by another.
    EXPECT_NE(sqlite3_threadsafe(), 0);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    char* error = nullptr;
    const int created = sqlite3_exec(db,
                                     "CREATE VIRTUAL TABLE takes USING fts5(text, tokenize = "
                                     "'unicode61 remove_diacritics 2');"
                                     "INSERT INTO takes VALUES ('County Fire Dispatch'),"
                                     "('Café Nord'), ('ÉCOLE Élan'), ('Firefighters');",
                                     nullptr, nullptr, &error);
    ASSERT_EQ(created, SQLITE_OK) << (error ? error : "");
    const struct {
        std::string query;
        std::vector<std::string> found;
    } rows[] = {
        {"fire disp*", {"County Fire Dispatch"}},
        {"FIRE*", {"County Fire Dispatch", "Firefighters"}},
        {"cafe", {"Café Nord"}},
        {"ecole e*", {"ÉCOLE Élan"}},
        {"ire*", {}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(matches(db, row.query), row.found) << row.query;
    }
    sqlite3_close(db);
}

TEST(LibrariesTest, SoundTouchHalvesTheTimeAtTwiceTheTempoAndKeepsThePitch) {
    const std::vector<float> in = tone(1000, 4, 0.5F);
    soundtouch::SoundTouch stretch;
    stretch.setSampleRate(kRate);
    stretch.setChannels(1);
    stretch.setTempo(2.0);
    stretch.putSamples(in.data(), static_cast<unsigned>(in.size()));
    stretch.flush();
    std::vector<float> out;
    float block[1024];
    while (unsigned got = stretch.receiveSamples(block, 1024)) {
        out.insert(out.end(), block, block + got);
    }
    EXPECT_NEAR(static_cast<double>(out.size()), in.size() / 2.0, in.size() / 2.0 * 0.03);
    EXPECT_NEAR(frequency(out), 1000, 30);
}

// sf_format_check accepts MP3 even from a libsndfile built without it; the
// formats it lists are the ones it was built with.
bool listsMpeg() {
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO major{};
        major.format = i;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &major, sizeof major);
        if (major.format == SF_FORMAT_MPEG) {
            return true;
        }
    }
    return false;
}

TEST(LibrariesTest, SndfileWritesAnMp3ThatReadsBackAsTheTone) {
    ASSERT_TRUE(listsMpeg()) << "libsndfile was built without MP3 (LAME and mpg123)";
    SF_INFO format{};
    format.samplerate = kRate;
    format.channels = 1;
    format.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;

    const taperly::testing::TempFolder folder;
    const std::string path = folder.file("tone.mp3");
    const std::vector<float> in = tone(1000, 2, 0.5F);
    SNDFILE* writer = sf_open(path.c_str(), SFM_WRITE, &format);
    ASSERT_NE(writer, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(sf_writef_float(writer, in.data(), static_cast<sf_count_t>(in.size())),
              static_cast<sf_count_t>(in.size()));
    ASSERT_EQ(sf_close(writer), 0);

    SF_INFO read{};
    SNDFILE* reader = sf_open(path.c_str(), SFM_READ, &read);
    ASSERT_NE(reader, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(read.format & SF_FORMAT_TYPEMASK, SF_FORMAT_MPEG);
    EXPECT_EQ(read.samplerate, kRate);
    EXPECT_EQ(read.channels, 1);
    std::vector<float> out(in.size() * 2);
    out.resize(static_cast<std::size_t>(
        sf_readf_float(reader, out.data(), static_cast<sf_count_t>(out.size()))));
    sf_close(reader);
    // The encoder's delay and padding add a few frames.
    EXPECT_NEAR(static_cast<double>(out.size()), static_cast<double>(in.size()), kRate * 0.1);
    EXPECT_NEAR(frequency(out), 1000, 30);
    EXPECT_NEAR(rms(out), rms(in), rms(in) * 0.15);
}

}  // namespace
