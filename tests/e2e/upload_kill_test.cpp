// Taperly killed with SIGKILL while a take is being uploaded, and started
// again: every take stored reaches the service, the one cut short once more
// with the same times, which the service keeps as one call.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <set>

#include "e2e/e2e_test.h"
#include "e2e/window_process.h"
#include "uploads/call_server.h"
#include "uploads/uploads_run.h"

namespace taperly::e2e {
namespace {

using testing::CallServer;
using testing::ReceivedCall;
using testing::wait_until;

constexpr const char* kKey = "e2e-key-98765";

// The files takes.csv says were stored.
std::set<std::string> stored_takes(const testing::TempFolder& folder) {
    std::set<std::string> names;
    for (const auto& row : testing::csv_rows(folder.read("takes.csv"))) {
        if (row.size() > 4 && (row[4] == "saved" || row[4] == "split")) {
            names.insert(row[3]);
        }
    }
    return names;
}

class UploadKilled : public DriverTest {};

TEST_F(UploadKilled, EveryTakeArrivesOnceTheProgramIsStartedAgain) {
    CallServer server({"--key", kKey});
    // The first call is kept and never answered: the upload is under way
    // when the program is killed.
    server.faults("rdio hang\n");
    folder.write("uploads.ini", "[rdio-scanner]\nurl = " + server.url() +
                                    "\nkey = " + std::string(kKey) +
                                    "\nsystem = 11\nmax_age = 3650d\n"
                                    "first_wait = 0.2s\nlongest_wait = 1s\ntimeout = 60s\n");
    ::chmod(folder.file("uploads.ini").c_str(), 0600);
    start(
        "0.4 | State Net | SCAN | no\n"
        "1.0 | State Net | North Ops | yes | State Net | North | Ops | tgid=2001\n"
        "0.8 | State Net | SCAN | no\n"
        "1.0 | State Net | South Ops | yes | State Net | South | Ops | tgid=2002\n"
        "600 | State Net | SCAN | no\n");
    {
        WindowProcess taperly(folder.path(), true);
        ASSERT_TRUE(taperly.started());
        ASSERT_TRUE(wait_until(
            [&] { return server.calls().size() == 1 && stored_takes(folder).size() == 2; },
            std::chrono::seconds(20)))
            << "no upload under way beside two stored takes";
        ASSERT_TRUE(taperly.running());
        const int status = taperly.kill();
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    }
    EXPECT_TRUE(folder.read("uploads.csv").empty()) << "nothing was delivered before the kill";

    WindowProcess again(folder.path(), true);
    ASSERT_TRUE(again.started());
    ASSERT_TRUE(
        wait_until([&] { return testing::csv_rows(folder.read("uploads.csv")).size() >= 3; },
                   std::chrono::seconds(20)))
        << folder.read("uploads.csv");
    std::set<std::string> kept;
    int requests = 0;
    for (const ReceivedCall& call : server.calls()) {
        ++requests;
        if (call.kept) {
            EXPECT_TRUE(kept.insert(call.file_name).second) << "kept twice: " << call.file_name;
        }
    }
    EXPECT_EQ(kept, stored_takes(folder)) << "every stored take, once";
    std::printf("%zu takes stored, %d requests: %zu sent again, none kept twice\n",
                stored_takes(folder).size(), requests,
                static_cast<std::size_t>(requests) - kept.size());
}

}  // namespace
}  // namespace taperly::e2e
