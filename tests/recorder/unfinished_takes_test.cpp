#include "recorder/takes/unfinished_takes.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "recorder/takes/native_file.h"
#include "recorder/takes/take_file.h"
#include "support/temp_folder.h"

namespace taperly {
namespace {

using testing::TempFolder;

constexpr const char* kStarted = "9-05-07-PM_12-05-2026";
constexpr const char* kUnfinished = "unfinished_9-05-07-PM_12-05-2026.wav";
constexpr const char* kOthers = "someone else's";

// Windows hides a file by an attribute, as the writer hides its takes;
// elsewhere the dot in front of the name hides it.
void hide(const std::string& path) {
#ifdef _WIN32
    ::SetFileAttributesW(TempFolder::native(path).c_str(), FILE_ATTRIBUTE_HIDDEN);
#else
    (void)path;
#endif
}

bool is_hidden(const std::string& path) {
#ifdef _WIN32
    const DWORD attributes = ::GetFileAttributesW(TempFolder::native(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
#else
    return TempFolder::native(path).filename().string().front() == '.';
#endif
}

// What a kill, a crash or a power cut left of the header.
enum class Header { kRight, kSizesMissing, kSizesOld, kGone };

void put_u32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
    }
}

// A take as the writer streams it: a 44-byte header, then `frames` numbered
// 16-bit frames, and the first byte of one more when `half_frame`.
std::string take_bytes(int frames, Header header, bool half_frame = false) {
    std::string bytes(
        "RIFF\0\0\0\0WAVEfmt "
        "\x10\0\0\0\x01\0\x01\0\x22\x56\0\0\x44\xac\0\0\x02\0\x10\0data\0\0\0\0",
        44);
    for (int i = 0; i < frames; ++i) {
        bytes.push_back(static_cast<char>(i));
        bytes.push_back(static_cast<char>(i >> 8));
    }
    if (half_frame) {
        bytes.push_back('\x7f');
    }
    const auto data = static_cast<std::uint32_t>(2 * frames);
    switch (header) {
        case Header::kRight:
            put_u32(bytes, 4, 36 + data);
            put_u32(bytes, 40, data);
            break;
        case Header::kSizesOld:
            put_u32(bytes, 4, 36 + data / 2);
            put_u32(bytes, 40, data / 2);
            break;
        case Header::kSizesMissing:
            break;
        case Header::kGone:
            std::fill(bytes.begin(), bytes.begin() + 44, '\0');
            break;
    }
    return bytes;
}

struct LeftoverCase {
    const char* name;
    // When the take began, as its hidden name carries it.
    std::string started;
    Header header;
    int frames;
    bool half_frame;
    // Files of these names are there already.
    std::vector<std::string> taken;
    // Still being written by another Taperly, which holds it.
    bool held;
    // Saved under this name before the kill came; "": not saved.
    std::string saved_as;
    // The name it is recovered as, with the frames it plays; "": none.
    std::string recovered;
    int frames_kept;
};

void PrintTo(const LeftoverCase& c, std::ostream* out) {
    *out << c.name;
}

class RecoverLeftover : public ::testing::TestWithParam<LeftoverCase> {};

TEST_P(RecoverLeftover, GivesItAVisibleNameThatPlaysAndReplacesNothing) {
    const LeftoverCase& c = GetParam();
    TempFolder folder;
    for (const std::string& name : c.taken) {
        folder.write(name, kOthers);
    }
    const std::string bytes = take_bytes(c.frames, c.header, c.half_frame);
    TakeFile writer(folder.path());
    std::string hidden = hidden_take_prefix(c.started) + "Ab12Cd.wav";
    if (c.held) {
        ASSERT_TRUE(writer.create(c.started));
        ASSERT_EQ(writer.write(bytes.data(), static_cast<std::int64_t>(bytes.size())),
                  static_cast<std::int64_t>(bytes.size()));
        hidden = std::filesystem::path(writer.hidden_path()).filename().string();
    } else {
        folder.write(hidden, bytes);
        hide(folder.file(hidden));
    }
    if (!c.saved_as.empty()) {
        ASSERT_EQ(add_name(folder.file(hidden), folder.file(c.saved_as)), NameAdded::kAdded);
    }

    const std::vector<std::string> recovered = recover_unfinished_takes(folder.path());

    std::vector<std::string> expected = c.taken;
    if (!c.recovered.empty()) {
        EXPECT_EQ(recovered, std::vector<std::string>{c.recovered});
        expected.push_back(c.recovered);
        EXPECT_EQ(folder.read(c.recovered), take_bytes(c.frames_kept, Header::kRight));
        EXPECT_FALSE(is_hidden(folder.file(c.recovered)));
    } else {
        EXPECT_TRUE(recovered.empty());
    }
    if (c.held) {
        expected.push_back(hidden);
        EXPECT_EQ(folder.read(hidden), bytes);
    }
    if (!c.saved_as.empty()) {
        expected.push_back(c.saved_as);
        EXPECT_EQ(folder.read(c.saved_as), bytes);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folder.names(), expected);
    for (const std::string& name : c.taken) {
        EXPECT_EQ(folder.read(name), kOthers) << name;
    }
    // A second start finds nothing more to do.
    EXPECT_TRUE(recover_unfinished_takes(folder.path()).empty());
    EXPECT_EQ(folder.names(), expected);
}

const std::string kUnfinished2 = "unfinished_9-05-07-PM_12-05-2026_2.wav";
const std::string kUnfinished3 = "unfinished_9-05-07-PM_12-05-2026_3.wav";

INSTANTIATE_TEST_SUITE_P(
    Leftovers, RecoverLeftover,
    ::testing::Values(
        LeftoverCase{
            "killed", kStarted, Header::kRight, 300, false, {}, false, "", kUnfinished, 300},
        LeftoverCase{"header_sizes_missing",
                     kStarted,
                     Header::kSizesMissing,
                     300,
                     false,
                     {},
                     false,
                     "",
                     kUnfinished,
                     300},
        LeftoverCase{"cut_mid_sample",
                     kStarted,
                     Header::kSizesOld,
                     300,
                     true,
                     {},
                     false,
                     "",
                     kUnfinished,
                     300},
        LeftoverCase{
            "header_gone", kStarted, Header::kGone, 300, false, {}, false, "", kUnfinished, 300},
        LeftoverCase{"names_taken",
                     kStarted,
                     Header::kRight,
                     300,
                     false,
                     {kUnfinished, kUnfinished2},
                     false,
                     "",
                     kUnfinished3,
                     300},
        LeftoverCase{"start_not_known",
                     "",
                     Header::kSizesMissing,
                     300,
                     false,
                     {},
                     false,
                     "",
                     "unfinished.wav",
                     300},
        LeftoverCase{
            "held_by_its_writer", kStarted, Header::kSizesMissing, 300, false, {}, true, "", "", 0},
        LeftoverCase{"saved_before_the_kill",
                     kStarted,
                     Header::kRight,
                     300,
                     false,
                     {},
                     false,
                     "State-Net_North_Ops_9-05-07-PM_9-05-31-PM_12-05-2026.wav",
                     "",
                     0},
        LeftoverCase{
            "no_sound_recorded", kStarted, Header::kSizesMissing, 0, true, {}, false, "", "", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RecoverUnnamed, ATakeCutOffBeforeItHadItsNameIsRemoved) {
    TempFolder folder;
    folder.write(std::string(kUnnamedTakePrefix) + "Ab12Cd", "");
    // A FLAC encoding cut off: no take, whatever it holds (its WAV is the take).
    folder.write(std::string(kPartialFlacPrefix) + "Ab12Cd.flac", "fLaC and half a frame");
    EXPECT_TRUE(recover_unfinished_takes(folder.path()).empty());
    EXPECT_TRUE(folder.names().empty());
}

}  // namespace
}  // namespace taperly
