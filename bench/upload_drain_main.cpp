// The poll's timing while uploads drain a backlog: the real window against
// the scanner simulator, idle at first with nothing to upload, then with
// TAKES takes waiting in the Rdio Scanner target's journal (as after a long
// outage) delivered to the stand-in on loopback. The gaps between the
// commands the scanner received tell when polls went out.
//
//   taperly-bench-upload-drain --takes N --seconds S --out DIR [--folder TAKES]
//
// The scanner's log goes into DIR (best a tmpfs, so that its own writes
// never wait behind the takes folder's disk), the takes into TAKES (by
// default DIR/takes).
//
// Prints Markdown table rows of the gaps in each stretch.

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/real_parts.h"
#include "bench/poll_gaps.h"
#include "bench/process_usage.h"
#include "bench/window_run.h"
#include "support/simulator_process.h"
#include "tracking/take_log_file.h"
#include "uploads/call_server.h"
#include "uploads/upload_journal.h"
#include "uploads/uploads_run.h"

namespace {

using namespace taperly;
using Steady = std::chrono::steady_clock;
using bench::command_times;
using bench::gaps_between;
using bench::print_gaps;

constexpr const char* kKey = "test-key-1234";

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    int takes = 1000;
    double seconds = 2;
    std::string out = ".";
    std::string folder;
    for (int at = 1; at + 1 < argc; at += 2) {
        const std::string option = argv[at];
        if (option == "--takes") {
            takes = std::atoi(argv[at + 1]);
        } else if (option == "--seconds") {
            seconds = std::atof(argv[at + 1]);
        } else if (option == "--out") {
            out = argv[at + 1];
        } else if (option == "--folder") {
            folder = argv[at + 1];
        }
    }
    if (folder.empty()) {
        folder = out + "/takes";
    }
    std::filesystem::create_directories(folder);
    testing::CallServer server({"--key", kKey});

    // The backlog: each take's file and row, and its place in the journal.
    const std::vector<short> sound = testing::tone(seconds, 1000);
    std::deque<JournalEntry> waiting;
    {
        TakeLogFile log(folder);
        for (int i = 1; i <= takes; ++i) {
            const std::string name =
                "Metro_Fire_TG-" + std::to_string(i) + "_9-05-07-PM_12-05-2026.wav";
            testing::write_take(folder + "/" + name, sound);
            TakeLogEntry entry;
            entry.start = testing::local_time_ago(seconds + 1);
            entry.end = testing::local_time_ago(1);
            entry.frames = static_cast<std::int64_t>(sound.size());
            entry.file_name = name;
            entry.talkgroup = "TG " + std::to_string(i);
            entry.talkgroup_id = std::to_string(1000 + i);
            log.add(entry);
            waiting.push_back({i, entry.talkgroup_id, *queued_take(entry, 0), 0, {}});
        }
        std::filesystem::create_directories(folder + "/.taperly-uploads");
        UploadJournal(folder + "/.taperly-uploads/rdio-scanner.queue")
            .rewrite(static_cast<std::int64_t>(std::filesystem::file_size(log.path())), waiting);
    }
    const std::string settings = "[rdio-scanner]\nurl = " + server.url() + "\nkey = " + kKey +
                                 "\nsystem = 11\nmax_age = 3650d\n";

    testing::SimulatorProcess simulator(
        bench::simulator_settings("3600 | Metro | SCAN | no\n", 57600, out));
    simulator.point_com_port(1);
    Form1 form(make_real_parts(folder, QString::fromStdString(folder + "/taperly-help.html")));
    // Idle first, with nothing to upload: the usual gaps.
    if (bench::show_and_run(form, 57600) == nullptr) {
        return 1;
    }
    bench::turn_events_until([] { return false; }, std::chrono::seconds(15));
    const double idle_to = command_times(simulator.log_path()).back();
    form.findChild<QPushButton*>("Command2")->click();

    {
        std::ofstream(folder + "/uploads.ini") << settings;
        std::filesystem::permissions(
            folder + "/uploads.ini",
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
            std::filesystem::perm_options::replace);
    }
    const auto delivered = [&folder] {
        std::ifstream rows(folder + "/uploads.csv");
        return static_cast<int>(std::count(std::istreambuf_iterator<char>(rows), {}, '\n')) - 1;
    };
    const double cpu_before = bench::cpu_seconds();
    const Steady::time_point start = Steady::now();
    form.findChild<QPushButton*>("Command2")->click();
    const double drain_from = command_times(simulator.log_path()).back();
    bench::turn_events_until([&] { return delivered() >= takes; }, std::chrono::minutes(30));
    const double took = std::chrono::duration<double>(Steady::now() - start).count();
    const double drain_to = command_times(simulator.log_path()).back();
    const double cpu = bench::cpu_seconds() - cpu_before;
    form.findChild<QPushButton*>("Command2")->click();

    const std::vector<double> times = command_times(simulator.log_path());
    std::vector<double> idle_gaps;
    for (std::size_t i = 1; i < times.size() && times[i] <= idle_to; ++i) {
        idle_gaps.push_back((times[i] - times[i - 1]) * 1000);
    }
    std::sort(idle_gaps.begin(), idle_gaps.end());
    const double usual = idle_gaps.empty() ? 100 : idle_gaps[idle_gaps.size() / 2];
    std::printf(
        "| stretch | length | gaps | median | 99th percentile | largest | late by over 10 ms |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    // The first seconds hold the run's start.
    print_gaps("idle, nothing to upload", gaps_between(times, 3, idle_to), idle_to - 3, usual);
    // As for the idle stretch, the Run that starts it (the port opened
    // anew, the capture started) is left out: its first second.
    print_gaps("draining the backlog", gaps_between(times, drain_from + 1, drain_to),
               drain_to - drain_from - 1, usual);
    std::printf(
        "\n%d takes of %g s delivered in %.1f s (%.1f a second), the whole process's CPU "
        "%.1f s meanwhile.\n",
        std::max(0, delivered()), seconds, took, delivered() / took, cpu);
    return 0;
}
