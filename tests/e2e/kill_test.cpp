// Taperly killed with SIGKILL in the middle of a take: the hidden file it was
// recording into still plays back what was recorded, and the next start
// gives it a name that says what it is.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>

#include "e2e/e2e_test.h"
#include "e2e/takes_log_reading.h"
#include "e2e/window_process.h"
#include "recorder/takes/take_layout.h"
#include "support/take_readers.h"

namespace taperly::e2e {
namespace {

using testing::wait_until;

// "unfinished_", a start time and the date as takes give it: "_12-05-2026.wav".
bool is_unfinished_name(const std::string& name) {
    const std::string date = "_00-00-0000.wav";
    const std::string prefix = "unfinished_";
    if (name.rfind(prefix, 0) != 0 || name.size() <= prefix.size() + date.size()) {
        return false;
    }
    const std::string end = name.substr(name.size() - date.size());
    for (std::size_t i = 0; i < date.size(); ++i) {
        const bool fits = date[i] == '0' ? std::isdigit(static_cast<unsigned char>(end[i])) != 0
                                         : end[i] == date[i];
        if (!fits) {
            return false;
        }
    }
    return true;
}

class KilledMidTake : public DriverTest {};

TEST_F(KilledMidTake, HiddenTakePlaysAndTheNextStartNamesIt) {
    start(
        "0.4 | State Net | SCAN | no\n"
        "30 | State Net | North Ops | yes | State Net | North | Killed\n");

    WindowProcess taperly(folder.path(), true);
    ASSERT_TRUE(taperly.started());
    const std::uintmax_t one_second = kTakeHeaderSize + 2 * WaveFileWriter::kSampleRate;
    ASSERT_TRUE(
        wait_until([&] { return hidden_take_bytes(folder.path(), folder.names()) > one_second; },
                   std::chrono::seconds(15)))
        << "no take grew to a second";
    ASSERT_TRUE(taperly.running());
    const int status = taperly.kill();
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    const std::vector<std::string> names = folder.names();
    const std::vector<std::string> hidden = temporary_takes(names);
    ASSERT_EQ(hidden.size(), 1u);
    EXPECT_EQ(names.size(), 2u) << "the settings and the hidden take, nothing else";
    const TakeSound sound = measure_take(folder.file(hidden[0]));
    std::printf("killed after %ju bytes; the hidden take plays %.3f s at %.1f Hz\n",
                hidden_take_bytes(folder.path(), folder.names()), sound.seconds, sound.frequency);
    ASSERT_TRUE(sound.readable);
    // Over a second was written; the header may lag by the last piece only.
    EXPECT_GT(sound.seconds, 0.5);
    EXPECT_NEAR(sound.frequency, kToneHz, kToneHz * 0.02);

    // Started again, by nobody pressing Run: the take is named and plays whole.
    WindowProcess again(folder.path(), false);
    ASSERT_TRUE(again.started());
    // Its row comes just after its name.
    ASSERT_TRUE(wait_until(
        [&] {
            return temporary_takes(folder.names()).empty() &&
                   !takes_log_rows(folder.path()).empty();
        },
        std::chrono::seconds(15)))
        << "the hidden take was not recovered and logged";
    const std::vector<std::string> after = folder.names();
    ASSERT_EQ(after.size(), 3u) << "the settings, the takes log and the recovered take";
    const std::string& recovered = after.back();
    EXPECT_TRUE(is_unfinished_name(recovered)) << recovered;
    // Its start as its name told it, which has no UTC offset; its end unknown.
    const std::vector<std::string> rows = takes_log_rows(folder.path());
    ASSERT_EQ(rows.size(), 1u);
    const std::string start = rows[0].substr(0, rows[0].find('|'));
    EXPECT_TRUE(start.size() == 19 && start[4] == '-' && start[7] == '-' && start[10] == 'T' &&
                start[13] == ':' && start[16] == ':')
        << "not a local time without an offset: " << rows[0];
    EXPECT_EQ(rows[0], start + "||" + recovered + "|recovered||||||sound|no level");
    const TakeSound whole = measure_take(folder.file(recovered));
    std::printf("recovered as %s, %.3f s\n", recovered.c_str(), whole.seconds);
    ASSERT_TRUE(whole.readable);
    EXPECT_TRUE(testing::wave_header_matches_length(folder.file(recovered)));
    EXPECT_GE(whole.seconds, sound.seconds);
    EXPECT_NEAR(whole.frequency, kToneHz, kToneHz * 0.02);
    // What was known when it stopped is inside it: its start, with the offset.
    const std::string created = testing::ffprobe_tags(folder.file(recovered))["date"];
    EXPECT_EQ(created.substr(0, 19), start) << created;
    EXPECT_EQ(created.size(), 25u) << created;

    again.send(SIGTERM);
    const std::optional<int> ended = again.wait_for_exit(std::chrono::seconds(15));
    ASSERT_TRUE(ended.has_value()) << "still running after SIGTERM";
    EXPECT_TRUE(WIFEXITED(*ended) && WEXITSTATUS(*ended) == 0) << "wait status " << *ended;
    EXPECT_EQ(folder.names(), after) << "a start without a run records nothing";
}

}  // namespace
}  // namespace taperly::e2e
