// What uploading promises besides the services' contracts: a command target
// tried again and ended at its limit, keys never shown, certificates always
// checked, a key file others can read refused, a mistake told with its line,
// nothing at all without uploads.ini, takes without a number not queued, and
// a removed take leaving the queue.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "call_server.h"
#include "e2e/stderr_capture.h"
#include "system_calls.h"
#include "uploads_run.h"

namespace taperly {
namespace {

using testing::CallServer;
using testing::ReceivedCall;
using testing::UploadsRun;

constexpr const char* kKey = "test-key-1234";
const std::string kTake = "Metro_Fire_Dispatch_9-05-07-PM_9-05-09-PM_12-05-2026.wav";
const std::string kQuickWaits = "first_wait = 0.2s\nlongest_wait = 1s\n";

std::string rdio_section(const std::string& url, const std::string& more = {}) {
    return "[rdio-scanner]\nurl = " + url + "\nkey = " + kKey + "\nsystem = 11\n" + kQuickWaits +
           more;
}

std::string lines_of(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string first_line(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

class CommandTarget : public ::testing::TestWithParam<bool> {};

TEST_P(CommandTarget, IsTriedAgainAfterAFailureOrItsTimeLimit) {
    const bool hang = GetParam();
    UploadsRun run;
    testing::TempFolder work;
    run.settings(std::string("[command]\nprogram = ") + TAPERLY_UPLOAD_COMMAND +
                 "\narguments = \"" + work.path() + "\"" + (hang ? " hang" : "") +
                 "\ntime_limit = 1s\n" + kQuickWaits);
    run.run();
    const TakeLogEntry take = run.store(kTake, testing::tone(1, 1000));
    ASSERT_TRUE(run.wait_for_rows(1)) << run.folder.read("uploads.csv");
    const std::vector<std::string> row = run.rows()[0];
    EXPECT_EQ(row[2], "delivered");
    EXPECT_EQ(row[5], "2") << "tries";
    EXPECT_EQ(work.read("count"), "2\n");
    // Its arguments, then the take's path and its facts' file.
    std::vector<std::string> args;
    std::istringstream lines(work.read("args-2"));
    for (std::string line; std::getline(lines, line);) {
        args.push_back(line);
    }
    ASSERT_EQ(args.size(), hang ? 4u : 3u);
    EXPECT_EQ(args[0], work.path());
    const auto named = [](const std::string& path) {
        return testing::TempFolder::native(path).lexically_normal();
    };
    EXPECT_EQ(named(args[args.size() - 2]), named(run.folder.file(kTake)));
    const std::string json = work.read("call-2.json");
    for (const std::string& field :
         {std::string("\"talkgroup\": 2001"), std::string("\"talkgroup_tag\": \"Dispatch\""),
          std::string("\"talkgroup_group\": \"Fire\""), std::string("\"call_length\": 1.000"),
          std::string("\"file\": \"") + kTake + "\"",
          std::string("\"display_line_1\": \"Metro\"")}) {
        EXPECT_NE(json.find(field), std::string::npos) << field << " in " << json;
    }
    EXPECT_TRUE(run.folder.names() ==
                (std::vector<std::string>{".taperly-uploads", kTake, "takes.csv", "uploads.csv",
                                          "uploads.ini"}))
        << "its JSON file and output are gone, the take is as it was";
    if (hang) {
        // It was ended with all it had started.
        ASSERT_TRUE(launch::wait_until([&] { return !work.read("child").empty(); },
                                       std::chrono::seconds(5)));
        EXPECT_TRUE(testing::process_gone(first_line(work.read("child"))));
    }
    (void)take;
}

INSTANTIATE_TEST_SUITE_P(Runs, CommandTarget, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "hangs" : "fails"; });

TEST(UploadRules, TheKeyAppearsInNoFileTheRunWroteNorInItsOutput) {
    CallServer server;
    // Refused with the key in the answer, failing, then taken.
    server.faults("rdio echo 400\nrdio status 500 - key test-key-1234 expired\n");
    UploadsRun run;
    {
        const e2e::StderrCapture errors(run.folder.file("stderr.txt"));
        run.settings(rdio_section(server.url()) + "[openmhz]\nurl = " + server.url() +
                     "\nkey = " + kKey + "\nshort_name = nothing\n");
        run.run();
        run.store("a_" + kTake, testing::tone(1, 1000));
        run.store("b_" + kTake, testing::tone(1, 1000));
        ASSERT_TRUE(run.wait_for_rows(3)) << run.folder.read("uploads.csv");
        ASSERT_TRUE(
            launch::wait_until([&] { return run.note().has_value(); }, std::chrono::seconds(5)));
        const std::string told = run.note()->text + run.note()->detail;
        EXPECT_EQ(told.find(kKey), std::string::npos) << told;
        run.end();
    }
    const std::string csv = run.folder.read("uploads.csv");
    EXPECT_NE(csv.find("Refused the key …34, sorry"), std::string::npos) << csv;
    int searched = 0;
    for (const auto& file : std::filesystem::recursive_directory_iterator(run.folder.path())) {
        if (file.is_regular_file() && file.path().filename() != "uploads.ini") {
            ++searched;
            EXPECT_EQ(lines_of(file.path()).find(kKey), std::string::npos) << file.path();
        }
    }
    EXPECT_GE(searched, 5) << "the takes, the logs, the journals and standard error";
    // Whatever went wrong was told in the window and uploads.csv, not there.
    EXPECT_EQ(run.folder.read("stderr.txt"), "");
}

TEST(UploadRules, AServerWhoseCertificateIsNotTrustedGetsNothing) {
    CallServer server({"--tls-self-signed"});
    UploadsRun run;
    run.settings(rdio_section("https://127.0.0.1:" + std::to_string(server.port())));
    run.run();
    run.store(kTake, testing::tone(1, 1000));
    ASSERT_TRUE(run.wait_for_rows(1));
    EXPECT_EQ(run.rows()[0][2].rfind("target stopped: certificate not trusted: ", 0), 0u)
        << run.rows()[0][2];
    EXPECT_TRUE(server.calls().empty()) << "the request was never sent";
}

TEST(UploadRules, AKeyFileOthersCanReadIsRefusedUntilItIsMadePrivate) {
    CallServer server;
    UploadsRun run;
    run.settings(rdio_section(server.url()));
    testing::let_others_read(run.folder.file("uploads.ini"), true);
    run.run();
    ASSERT_TRUE(run.note().has_value());
    EXPECT_EQ(run.note()->text, "Uploads off: others can read uploads.ini");
    // With what to do about it, in the system's own terms.
    EXPECT_NE(run.note()->detail.find("uploads.ini holds keys and "), std::string::npos)
        << run.note()->detail;
    EXPECT_TRUE(run.targets().empty());
    testing::let_others_read(run.folder.file("uploads.ini"), false);
    run.run();
    EXPECT_EQ(run.targets().size(), 1u);
    run.store(kTake, testing::tone(1, 1000));
    ASSERT_TRUE(run.wait_for_rows(1));
    EXPECT_EQ(run.rows()[0][2], "delivered");
}

TEST(UploadRules, AMistakeIsToldWithItsLineAndTheOtherTargetsWork) {
    CallServer server;
    UploadsRun run;
    run.settings("# Taperly's uploads\n[rdio-scanner]\nurl = " + server.url() +
                 "\nkye = x\n[openmhz]\nurl = " + server.url() + "\nkey = " + kKey +
                 "\nshort_name = metro\n");
    run.run();
    ASSERT_TRUE(run.note().has_value());
    EXPECT_EQ(run.note()->text.rfind("uploads.ini line 4: [rdio-scanner] has no key \"kye\"", 0),
              0u)
        << run.note()->text;
    run.store(kTake, testing::tone(1, 1000));
    ASSERT_TRUE(run.wait_for_rows(1));
    EXPECT_EQ(run.rows()[0][1], "openmhz");
    EXPECT_EQ(run.rows()[0][2], "delivered");
}

TEST(UploadRules, WithoutTheFileNothingStartsAndNothingIsWritten) {
    UploadsRun run;
    const int threads = testing::thread_count();
    run.run();
    run.store(kTake, testing::tone(1, 1000));
    EXPECT_EQ(testing::thread_count(), threads) << "no thread of its own";
    EXPECT_EQ(run.folder.names(), (std::vector<std::string>{kTake, "takes.csv"}));
    EXPECT_EQ(run.note(), std::nullopt);
}

TEST(UploadRules, ATakeWithoutANumberIsNotQueuedUnlessTheFileGivesItsTextOne) {
    CallServer server;
    UploadsRun run;
    run.settings(rdio_section(server.url()) + "[broadcastify-calls]\nurl = " + server.url() +
                 "\nkey = " + kKey + "\nsystem_id = 77\nslot County Fire = 555\n" +
                 "[talkgroups]\nFire Ops = 3001\n");
    run.run();
    TakeLogEntry unnamed = run.store("a_" + kTake, testing::tone(1, 1000), "");
    TakeLogEntry mapped = unnamed;
    mapped.file_name = "b_" + kTake;
    mapped.talkgroup = "Fire Ops";
    testing::write_take(run.folder.file(mapped.file_name), testing::tone(1, 1000));
    run.add_row(mapped);
    TakeLogEntry conventional = unnamed;
    conventional.file_name = "c_" + kTake;
    conventional.system = conventional.group = conventional.talkgroup = "";
    conventional.display_line1 = "County Fire";
    testing::write_take(run.folder.file(conventional.file_name), testing::tone(1, 1000));
    run.add_row(conventional);
    ASSERT_TRUE(run.wait_for_rows(6)) << run.folder.read("uploads.csv");
    std::map<std::string, std::string> outcomes;
    for (const auto& row : run.rows()) {
        outcomes[row[0].substr(0, 1) + " " + row[1]] = row[2];
    }
    EXPECT_EQ(outcomes["a rdio-scanner"].rfind("not queued: no talkgroup number", 0), 0u);
    EXPECT_EQ(outcomes["a broadcastify-calls"].rfind("not queued: no talkgroup number or slot", 0),
              0u);
    EXPECT_EQ(outcomes["b rdio-scanner"], "delivered");
    EXPECT_EQ(outcomes["b broadcastify-calls"], "delivered");
    EXPECT_EQ(outcomes["c rdio-scanner"].rfind("not queued", 0), 0u);
    EXPECT_EQ(outcomes["c broadcastify-calls"], "delivered");
    std::map<std::string, std::string> numbers;
    for (const ReceivedCall& call : server.calls()) {
        if (call.service == "rdio") {
            numbers["rdio " + call.fields.at("talkgroupLabel")] = call.fields.at("talkgroup");
        } else if (call.service == "broadcastify") {
            numbers["broadcastify " + call.fields.at("tg")] = call.fields.at("tg");
        }
    }
    EXPECT_EQ(numbers, (std::map<std::string, std::string>{{"rdio Fire Ops", "3001"},
                                                           {"broadcastify 3001", "3001"},
                                                           {"broadcastify 555", "555"}}));
}

TEST(UploadRules, ATakeRemovedBeforeItsUploadLeavesTheQueue) {
    CallServer server;
    // A port nobody listens on: the server's, once it has ended.
    CallServer gone;
    const std::string dead = gone.url();
    gone.stop();
    UploadsRun run;
    run.settings(rdio_section(dead));
    run.run();
    const TakeLogEntry take = run.store("a_" + kTake, testing::tone(1, 1000));
    ASSERT_TRUE(run.wait_for_state("connection refused"));
    TakeLogEntry removed;
    removed.file_name = take.file_name;
    removed.outcome = TakeOutcome::kRemoved;
    run.add_row(removed);
    ASSERT_TRUE(run.wait_for_rows(1));
    EXPECT_EQ(run.rows()[0][2], "removed before upload");
    // The server back: the next take goes, the removed one never does.
    run.settings(rdio_section(server.url()));
    run.run();
    run.store("b_" + kTake, testing::tone(1, 1000));
    ASSERT_TRUE(run.wait_for_rows(2));
    EXPECT_EQ(run.rows()[1][0], "b_" + kTake);
    EXPECT_EQ(run.rows()[1][2], "delivered");
    EXPECT_EQ(server.calls().size(), 1u);
}

TEST(UploadRules, ATakeStoredButNeverQueuedIsQueuedAtTheNextStart) {
    CallServer server;
    UploadsRun run;
    run.settings(rdio_section(server.url()));
    run.run();
    run.store("a_" + kTake, testing::tone(1, 1000));
    ASSERT_TRUE(run.wait_for_rows(1));
    run.end();
    // Taperly ended between the take's row and its queue.
    const std::string late = "b_" + kTake;
    testing::write_take(run.folder.file(late), testing::tone(1, 1000));
    TakeLogEntry row;
    row.start = testing::local_time_ago(2);
    row.end = testing::local_time_ago(1);
    row.frames = 22050;
    row.file_name = late;
    row.talkgroup_id = "2001";
    TakeLogFile(run.folder.path()).add(row);
    run.start_again();
    run.run();
    ASSERT_TRUE(run.wait_for_rows(2)) << run.folder.read("uploads.csv");
    EXPECT_EQ(run.rows()[1][0], late);
    EXPECT_EQ(run.rows()[1][2], "delivered");
    EXPECT_EQ(server.calls().size(), 2u);
}

}  // namespace
}  // namespace taperly
