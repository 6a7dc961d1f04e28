// Takes stored as FLAC through the real recorder, writer and libsndfile:
// every sample where it was, the tags readers look for, the hidden WAV gone
// only once the FLAC take is there, a taken name left alone, and a take
// whose encoding fails saved as the WAV it already was.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "recorder/fake_input.h"
#include "recorder/take_format_choice.h"
#include "recorder/takes/flac_saver.h"
#include "recorder/takes/take_layout.h"
#include "recorder/takes/takes_room.h"
#include "recorder/takes/wave_file_writer.h"
#include "recorder/wave_recorder.h"
#include "recorder/wave_test_support.h"
#include "support/take_readers.h"
#include "support/temp_folder.h"

namespace taperly {
namespace {

using testing::numbered_frames;

constexpr int kFrames = 70000;  // more than one block of the encoding

std::set<std::string> names_in(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

std::string contents_of(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

FlacStored fails_to_encode(const FlacSource&) {
    return {FlacStored::Outcome::kFailed, "this libsndfile has no FLAC"};
}

struct FlacRow {
    const char* what;
    bool name_taken_before;
    bool encoding_fails;
    LateSave::Saved told;
    // The take's file afterwards ("" for none) and every name in the folder.
    const char* take_file;
    std::set<std::string> folder;
    // What the folder's free space reads (none: what it is), and a part of
    // the reason the log is given ("" for none).
    std::optional<std::int64_t> free_bytes = std::nullopt;
    std::string reason = "";
};

void PrintTo(const FlacRow& row, std::ostream* out) {
    *out << row.what;
}

class FlacTakes : public ::testing::TestWithParam<FlacRow> {};

TEST_P(FlacTakes, StoredAsToldAndNothingElseLeft) {
    const FlacRow& row = GetParam();
    testing::TempFolder folder;
    std::promise<void> told;
    LateSave told_late;
    bool wav_held_throughout = false;
    {
        auto input = std::make_unique<testing::FakeInput>();
        testing::FakeInput& fake = *input;
        // The real encoding, watched: while it runs, and when it has named
        // the FLAC take, the hidden WAV is still there.
        auto watched = [&wav_held_throughout](const FlacSource& source) {
            const auto hidden_wav_there = [&source] {
                for (const std::string& name : names_in(source.folder)) {
                    if (name.starts_with(".taperly-take-") && name.ends_with(".wav")) {
                        return true;
                    }
                }
                return false;
            };
            const bool before = hidden_wav_there();
            const FlacStored stored = store_as_flac(source);
            wav_held_throughout = before && hidden_wav_there();
            return stored;
        };
        FolderRoom room = &folder_free_bytes;
        if (row.free_bytes) {
            room = [&row](const std::string&) { return row.free_bytes; };
        }
        auto saver = row.encoding_fails ? std::make_unique<FlacSaver>(&fails_to_encode, room)
                                        : std::make_unique<FlacSaver>(watched, room);
        WaveRecorder recorder(std::move(input),
                              std::make_unique<WaveFileWriter>(folder.path(), std::move(saver)));
        ASSERT_EQ(recorder.take_extension(), ".flac");
        TakeTags tags;
        tags.title = "Caf\u00e9 Nord";
        tags.comment = "Talkgroup: Fire Dispatch";
        tags.created = "2026-12-05T21:05:07-05:00";
        tags.software = "Taperly 1.0";
        // A take before it could not be saved (its WAV name is too long).
        recorder.Command("Open");
        recorder.Command("Record");
        fake.deliver(numbered_frames(0, 10));
        recorder.setFileName(std::string(300, 'a') + ".wav");
        recorder.Command("save");
        recorder.Command("close");
        ASSERT_FALSE(recorder.storage().save_failure.empty());
        for (const std::string& name : names_in(folder.path())) {
            std::filesystem::remove(folder.file(name));
        }
        if (row.name_taken_before) {
            std::ofstream(folder.file("take.flac")) << "someone else's";
        }

        recorder.set_take_tags(tags);
        recorder.Command("Open");
        recorder.Command("Record");
        fake.deliver(numbered_frames(0, 40000));
        fake.deliver(numbered_frames(40000, kFrames - 40000));
        recorder.Command("stop");
        recorder.when_saved_later([&](const LateSave& late) {
            told_late = late;
            told.set_value();
        });
        std::atomic<int> woken = 0;
        recorder.on_late_save([&woken] { ++woken; });
        recorder.setFileName("take.flac");
        recorder.Command("save");
        const std::optional<EndedTake> ended = recorder.close_take();
        ASSERT_TRUE(ended.has_value());
        EXPECT_EQ(ended->saved, EndedTake::Saved::kPending);
        EXPECT_EQ(ended->frames, kFrames);
        EXPECT_FALSE(recorder.storage().save_failure.empty()) << "cleared before it was saved";
        ASSERT_EQ(told.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
        // Handed to the thread that reads the storage, as a save on the spot
        // tells it there.
        EXPECT_EQ(woken, 1);
        EXPECT_TRUE(recorder.settle_late_saves());
        const TakeStorage storage = recorder.storage();
        EXPECT_EQ(storage.saved_count, row.told == LateSave::Saved::kStored ? 1 : 0);
        EXPECT_EQ(storage.name_taken, row.told == LateSave::Saved::kNameTaken ? "take.flac" : "");
        EXPECT_EQ(storage.save_failure.empty(), row.told == LateSave::Saved::kStored);
    }
    const LateSave late = told_late;
    EXPECT_EQ(late.saved, row.told);
    EXPECT_TRUE(wav_held_throughout || row.take_file != std::string("take.flac"))
        << "the take was nowhere for a while";
    EXPECT_EQ(late.frames, kFrames);
    EXPECT_EQ(names_in(folder.path()), row.folder) << "no hidden take, no partial FLAC";
    if (row.name_taken_before) {
        EXPECT_EQ(contents_of(folder.file("take.flac")), "someone else's");
    }
    EXPECT_EQ(late.file_name, *row.take_file == '\0' ? "take.flac" : row.take_file);
    EXPECT_NE(late.reason.find(row.reason), std::string::npos) << late.reason;
    EXPECT_EQ(late.reason.empty(), row.reason.empty()) << late.reason;
    if (*row.take_file == '\0') {
        return;
    }
    const std::string take = folder.file(row.take_file);
    const std::vector<std::int16_t> sent = numbered_frames(0, kFrames);
    EXPECT_EQ(testing::read_wave(take).samples, sent) << "libsndfile";
    for (const char* reader : testing::kSampleReaders) {
        EXPECT_EQ(testing::decoded_by(reader, take), sent) << reader;
    }
    std::map<std::string, std::string> read = testing::ffprobe_tags(take);
    EXPECT_EQ(read["title"], "Caf\u00e9 Nord");
    EXPECT_EQ(read["comment"], "Talkgroup: Fire Dispatch");
    EXPECT_EQ(read["date"], "2026-12-05T21:05:07-05:00");
    // The WAV's software is its INFO's, "encoder" to ffprobe; to a FLAC
    // take's libsndfile adds its own name.
    const std::string software =
        read[row.take_file == std::string("take.wav") ? "encoder" : "software"];
    EXPECT_TRUE(software.starts_with("Taperly 1.0")) << software;
}

INSTANTIATE_TEST_SUITE_P(
    Takes, FlacTakes,
    ::testing::Values(
        FlacRow{"stored", false, false, LateSave::Saved::kStored, "take.flac", {"take.flac"}},
        FlacRow{"name taken", true, false, LateSave::Saved::kNameTaken, "", {"take.flac"}},
        FlacRow{"encoding fails",
                false,
                true,
                LateSave::Saved::kStored,
                "take.wav",
                {"take.wav"},
                std::nullopt,
                "not FLAC: this libsndfile has no FLAC"},
        // An hour of recording and the take itself: a byte less is too little.
        FlacRow{"no room beside the take being recorded",
                false,
                false,
                LateSave::Saved::kStored,
                "take.wav",
                {"take.wav"},
                kAlmostFullBelowBytes + kTakeHeaderSize + 2 * kFrames - 1,
                "not FLAC: too little room"},
        FlacRow{"room enough",
                false,
                false,
                LateSave::Saved::kStored,
                "take.flac",
                {"take.flac"},
                kAlmostFullBelowBytes + kTakeHeaderSize + 2 * kFrames}),
    [](const ::testing::TestParamInfo<FlacRow>& info) {
        std::string name = info.param.what;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

TEST(TakeFormatSetting, OnlyFlacAsksForFlac) {
    EXPECT_TRUE(flac_asked("flac"));
    for (const char* wav : {static_cast<const char*>(nullptr), "", "wav", "FLAC", "mp3", "flac "}) {
        EXPECT_FALSE(flac_asked(wav)) << (wav == nullptr ? "unset" : wav);
    }
}

}  // namespace
}  // namespace taperly
