// Takes the real window records from the scanner simulator, uploaded: calls
// with talkgroup numbers become calls with those numbers at the service, and
// a target down while 200 takes are stored gets them all, in order, once it
// is back, while the polls go on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "e2e/e2e_test.h"
#include "support/take_readers.h"
#include "uploads/call_server.h"
#include "uploads/uploads_run.h"

namespace taperly::e2e {
namespace {

using testing::CallServer;
using testing::ReceivedCall;
using testing::TempFolder;

constexpr const char* kKey = "e2e-key-98765";

std::string rdio_section(const std::string& url, const std::string& more = {}) {
    return "[rdio-scanner]\nurl = " + url + "\nkey = " + kKey +
           "\nsystem = 11\nmax_age = 3650d\nfirst_wait = 0.2s\nlongest_wait = 2s\n" + more;
}

void write_settings(const TempFolder& folder, const std::string& text) {
    folder.write("uploads.ini", text);
    ::chmod(folder.file("uploads.ini").c_str(), 0600);
}

std::vector<std::vector<std::string>> upload_rows(const TempFolder& folder) {
    auto rows = testing::csv_rows(folder.read("uploads.csv"));
    if (!rows.empty()) {
        rows.erase(rows.begin());
    }
    return rows;
}

// The largest gap between two commands the scanner received between `first`
// and `last` (seconds into its log), and the command count.
std::pair<double, int> largest_poll_gap(const std::string& log, double first, double last) {
    std::ifstream in(log);
    double previous = -1, largest = 0;
    int count = 0;
    for (std::string line; std::getline(in, line);) {
        const double at = std::stod(line.substr(0, line.find(' ')));
        if (at > first && at <= last) {
            if (previous > first) {
                largest = std::max(largest, at - previous);
            }
            ++count;
        }
        previous = at;
    }
    return {largest, count};
}

double log_seconds(const std::string& log) {
    std::ifstream in(log);
    std::string line, last;
    while (std::getline(in, line)) {
        last = line;
    }
    return last.empty() ? 0 : std::stod(last.substr(0, last.find(' ')));
}

class UploadedCalls : public E2eTest {};

TEST_F(UploadedCalls, CarryTheTalkgroupNumbersTheScannerGave) {
    CallServer server({"--key", kKey});
    TempFolder folder;
    write_settings(folder, rdio_section(server.url()) + "[talkgroups]\nCounty Fire = 4001\n");
    start(
        "0.4 | State Net | SCAN | no\n"
        "1.5 | State Net | North Ops | yes | State Net | North Area | Ops | tgid=02001\n"
        "0.8 | State Net | SCAN | no\n"
        "1.2 | County Fire | Dispatch | yes\n"
        "0.8 | State Net | SCAN | no\n"
        "1.0 | Metro | Tac 2 | yes | Metro | PD | Tac 2 | once tgid=3002\n"
        "0.8 | State Net | SCAN | no\n");
    E2eWindow window(folder.path(), kFastSpeed);
    window.click_run_stop();
    ASSERT_TRUE(window.follow_take(on_test_day(21, 5, 7), on_test_day(21, 5, 9)));
    ASSERT_TRUE(window.follow_take(on_test_day(21, 6, 7), on_test_day(21, 6, 9)));
    ASSERT_TRUE(window.follow_take(on_test_day(21, 7, 7), on_test_day(21, 7, 9)));
    window.click_run_stop();
    ASSERT_TRUE(E2eWindow::wait_for([&] { return upload_rows(folder).size() >= 3; }))
        << folder.read("uploads.csv");
    std::vector<std::string> numbers;
    for (const ReceivedCall& call : server.calls()) {
        numbers.push_back(call.fields.at("talkgroupLabel") + "=" + call.fields.at("talkgroup"));
    }
    EXPECT_EQ(numbers, (std::vector<std::string>{"Ops=2001", "County Fire=4001", "Tac 2=3002"}));
    for (const auto& row : upload_rows(folder)) {
        EXPECT_EQ(row[3], "delivered") << row[1];
    }
    // Its row says the number in its last column; the take says it itself.
    std::vector<std::string> logged;
    for (const auto& row : testing::csv_rows(folder.read("takes.csv"))) {
        logged.push_back(row[7] + "=" + row.back());
    }
    EXPECT_EQ(logged,
              (std::vector<std::string>{"talkgroup=talkgroup_id", "Ops=2001", "=", "Tac 2=3002"}));
    const std::string first = "State-Net_North-Area_Ops_9-05-07-PM_9-05-09-PM_12-05-2026.wav";
    EXPECT_EQ(testing::ffprobe_tags(folder.file(first))["comment"],
              "System: State Net; Group: North Area; Talkgroup: Ops; Talkgroup ID: 2001; Display "
              "line 1: State Net; Display line 2: North Ops");
}

TEST_F(UploadedCalls, TwoHundredTakesStoredWhileTheTargetIsDownAllArriveInOrder) {
    constexpr int kTakes = 200;
    // The port the service comes back on, free until then.
    int port = 0;
    {
        CallServer probe({"--key", kKey});
        port = probe.port();
        probe.stop();
    }
    TempFolder folder;
    write_settings(folder, rdio_section("http://127.0.0.1:" + std::to_string(port)));
    std::string scenario = "0.4 | Metro | SCAN | no\n";
    for (int i = 1; i <= kTakes; ++i) {
        scenario += "0.25 | Metro | Tac | yes | Metro | PD | TG " + std::to_string(i) +
                    " | tgid=" + std::to_string(1000 + i) + "\n0.35 | Metro | SCAN | no\n";
    }
    start(scenario + "600 | End of takes | SCAN | no\n");
    E2eWindow window(folder.path(), kFastSpeed);
    window.click_run_stop();
    // Each take has a name of its own by its talkgroup, whatever the clock.
    ASSERT_TRUE(E2eWindow::wait_for(
        [&] { return window.mirror().find("End of takes") != std::string::npos; }, 200000));
    // A call so short that the scanner's names did not come before its end
    // (a loaded machine) has no number: it is not queued, with a row.
    std::vector<std::string> stored_numbers;
    std::size_t unnumbered = 0;
    for (const auto& row : testing::csv_rows(folder.read("takes.csv"))) {
        if (row[4] == "saved") {
            if (row.back().empty()) {
                ++unnumbered;
            } else {
                stored_numbers.push_back(row.back());
            }
        }
    }
    std::printf("%zu takes stored while the service was down, %zu of them without a number\n",
                stored_numbers.size() + unnumbered, unnumbered);
    EXPECT_GE(stored_numbers.size() + unnumbered, kTakes - 5u)
        << "the scenario's calls, but for one or two merged";
    const double stored = log_seconds(simulator->log_path());
    // Back, on the same address: the next probe finds it.
    CallServer server({"--key", kKey, "--port", std::to_string(port)});
    // Counted from here: starting the server held this thread, the window's.
    const double back = log_seconds(simulator->log_path());
    ASSERT_TRUE(E2eWindow::wait_for(
        [&] { return upload_rows(folder).size() >= stored_numbers.size() + unnumbered; }, 120000))
        << upload_rows(folder).size() << " rows";
    const double drained = log_seconds(simulator->log_path());
    std::vector<std::string> order;
    for (const ReceivedCall& call : server.calls()) {
        order.push_back(call.fields.at("talkgroup"));
    }
    EXPECT_EQ(order, stored_numbers) << "each take once, oldest first";
    std::size_t not_queued = 0;
    for (const auto& row : upload_rows(folder)) {
        not_queued += row[3].rfind("not queued: no talkgroup number", 0) == 0;
        EXPECT_TRUE(row[3] == "delivered" || row[3].rfind("not queued", 0) == 0)
            << row[1] << ": " << row[3];
    }
    EXPECT_EQ(not_queued, unnumbered);
    const auto [usual, usual_count] = largest_poll_gap(simulator->log_path(), 1, stored);
    const auto [during, during_count] = largest_poll_gap(simulator->log_path(), back, drained);
    std::printf(
        "%zu takes drained in %.1f s; the largest gap between polls was %.0f ms while they were "
        "stored and %.0f ms during the drain (%d polls)\n",
        order.size(), drained - back, usual * 1000, during * 1000, during_count);
    (void)usual_count;
    window.click_run_stop();
}

}  // namespace
}  // namespace taperly::e2e
