// Keeping and uploading over one takes folder, on their real parts: a take
// still waiting for an upload stays however old it is, until it has gone;
// one that no target waits for goes when its days are over.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "call_server.h"
#include "keeping/takes_keeping.h"
#include "uploads_run.h"

namespace taperly {
namespace {

using testing::CallServer;
using testing::UploadsRun;

constexpr const char* kKey = "test-key-1234";
const std::string kTake = "Metro_Fire_Dispatch_9-05-07-PM_9-05-09-PM_12-05-2026.wav";

TEST(UploadsAndKeeping, ATakeStillWaitingStaysUntilItHasGone) {
    // The port the service comes back on, nobody listening there until then.
    int port = 0;
    {
        CallServer probe;
        port = probe.port();
        probe.stop();
    }
    const std::string url = "http://127.0.0.1:" + std::to_string(port);
    UploadsRun run;
    run.settings("[rdio-scanner]\nurl = " + url + "\nkey = " + kKey +
                 "\nsystem = 11\nmax_age = 60d\nfirst_wait = 0.2s\nlongest_wait = 1s\n");
    run.run();
    const std::string waiting = "a_" + kTake;
    const std::string unsent = "b_" + kTake;
    run.store(waiting, testing::tone(1, 1000));
    // Without a number: not queued, so no target waits for it.
    run.store(unsent, testing::tone(1, 1000), "");
    ASSERT_TRUE(run.wait_for_rows(1)) << run.folder.read("uploads.csv");
    ASSERT_TRUE(run.wait_for_state("connection refused"));

    const auto exists = [&](const std::string& name) {
        return std::filesystem::exists(testing::TempFolder::native(run.folder.file(name)));
    };
    TakesKeeping keeping(run.folder.path(), 30, run.log());
    keeping.keep_also(&run.held());
    std::atomic<bool> ending = false;
    const std::chrono::hours day{24};
    EXPECT_EQ(keeping.pass(testing::local_time_ago(0), SteadyTime{0}, ending).trouble, "");
    // A month later, watched all the while.
    const KeepingReport month =
        keeping.pass(testing::local_time_ago(-31.0 * 86400),
                     std::chrono::duration_cast<SteadyTime>(31 * day), ending);
    EXPECT_EQ(month.trouble, "");
    EXPECT_EQ(month.removed, 1);
    EXPECT_TRUE(exists(waiting)) << "still waiting for Rdio Scanner";
    EXPECT_FALSE(exists(unsent));

    // Back: the take goes, and then keeping lets it go too.
    CallServer server({"--port", std::to_string(port)});
    ASSERT_TRUE(run.wait_for_rows(2)) << run.folder.read("uploads.csv");
    EXPECT_EQ(run.rows()[1][0], waiting);
    EXPECT_EQ(run.rows()[1][2], "delivered");
    const KeepingReport after = keeping.pass(
        testing::local_time_ago(-31.0 * 86400 - 3600),
        std::chrono::duration_cast<SteadyTime>(31 * day) + std::chrono::hours(1), ending);
    EXPECT_EQ(after.removed, 1);
    EXPECT_FALSE(exists(waiting));
}

}  // namespace
}  // namespace taperly
