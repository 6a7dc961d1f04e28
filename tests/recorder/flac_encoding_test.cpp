// An encoding that fails leaves no hidden FLAC file behind, on every system:
// Windows removes one only through a handle opened with the right to.
#include "recorder/takes/flac_encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recorder/takes/take_file.h"
#include "recorder/takes/take_layout.h"
#include "support/temp_folder.h"

namespace taperly {
namespace {

TEST(FlacEncoding, ThatFailsLeavesNothingHidden) {
    testing::TempFolder folder;
    TakeFile take(folder.path());
    ASSERT_TRUE(take.create());
    const std::string wav(kTakeHeaderSize + 2 * 100, '\0');
    ASSERT_EQ(take.write(wav.data(), static_cast<std::int64_t>(wav.size())),
              static_cast<std::int64_t>(wav.size()));
    // Told of more frames than the file holds: reading it fails midway
    // (where libsndfile has FLAC at all).
    const FlacStored stored = store_as_flac({&take.file(), 100000, {}, folder.path(), "take.flac"});
    EXPECT_EQ(stored.outcome, FlacStored::Outcome::kFailed) << stored.reason;
    take.discard();
    EXPECT_EQ(folder.names(), std::vector<std::string>{});
}

}  // namespace
}  // namespace taperly
