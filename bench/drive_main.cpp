// Runs the whole program as a user would: builds the real window with its
// real serial line and sound input, chooses COM port 1 and the speed in its
// lists, clicks Run, and lets it work against the scanner simulator while
// measuring what it costs. Measures its own process (all of Taperly's
// threads), never the simulator's or the feed's.
//
//   taperly-bench-drive --startup RUNS
//       time from process start to the window's first paint, RUNS times
//   taperly-bench-drive --mode idle|take|boundary --speed BPS --out DIR
//                       [--seconds S] [--count N] [--seed N] [--fifo PATH]
//       idle      S seconds of polling with nothing heard (after 5 s settling)
//       take      one transmission of S seconds; the feed sounds throughout
//       boundary  N planned transmissions; the feed sounds exactly in them
//   --fifo names the bench sound server's feed pipe: the feed is started
//   with the simulator, so both play from the same instant.
// Takes go to DIR/takes; the plan to DIR/windows.txt; the feed's own count
// of what it could not deliver to DIR/feed-stats.txt.

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/form1.h"
#include "app/real_parts.h"
#include "bench/process_usage.h"
#include "bench/scenario_plan.h"
#include "bench/window_run.h"
#include "support/simulator_process.h"
#include "tools/launch/child_process.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace taperly;
using bench::cpu_seconds;
using bench::Resident;
using bench::resident_memory;
using bench::Switches;
using bench::wake_ups;
using launch::ChildProcess;

constexpr double kLeadIn = 3.0;
constexpr double kTail = 6.0;
constexpr int kFeedRate = 22050;

long long steady_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

struct Options {
    std::string mode;
    int speed = 9600;
    int seconds = 120;
    int count = 50;
    unsigned long long seed = 2026;
    std::string out;
    std::string fifo;
    int startup_runs = 0;
    bool startup_child = false;
};

Options parse_options(int argc, char** argv) {
    Options options;
    for (int at = 1; at < argc; ++at) {
        const std::string option = argv[at];
        const char* value = at + 1 < argc ? argv[at + 1] : "";
        if (option == "--startup-child") {
            options.startup_child = true;
            continue;
        }
        ++at;
        if (option == "--startup") {
            options.startup_runs = std::atoi(value);
        } else if (option == "--mode") {
            options.mode = value;
        } else if (option == "--speed") {
            options.speed = std::atoi(value);
        } else if (option == "--seconds") {
            options.seconds = std::atoi(value);
        } else if (option == "--count") {
            options.count = std::atoi(value);
        } else if (option == "--seed") {
            options.seed = std::strtoull(value, nullptr, 10);
        } else if (option == "--out") {
            options.out = value;
        } else if (option == "--fifo") {
            options.fifo = value;
        } else {
            std::fprintf(stderr, "taperly-bench-drive: unknown option %s\n", option.c_str());
            std::exit(2);
        }
    }
    return options;
}

// Time to the first paint of the window, in a fresh process each run.
int time_startup(const char* self, int runs) {
    std::vector<double> millis;
    launch::ChildOptions reported;
    reported.read_output = true;
    for (int run = 0; run < runs; ++run) {
        const long long before = steady_ns();
        launch::ChildProcess child({self, "--startup-child"}, reported);
        if (!child.started()) {
            return 1;
        }
        const std::string text = child.read_line(std::chrono::seconds(60));
        child.wait_for_exit(std::chrono::seconds(60));
        const long long painted = std::atoll(text.c_str());
        if (painted > before) {
            millis.push_back(static_cast<double>(painted - before) / 1e6);
        }
    }
    if (millis.empty()) {
        std::printf("- start-up: the window was never painted\n");
        return 1;
    }
    std::vector<double> sorted = millis;
    std::sort(sorted.begin(), sorted.end());
    std::printf(
        "- start-up to the window's first paint: median %.0f ms, fastest %.0f ms, slowest "
        "%.0f ms (%zu runs)\n",
        sorted[sorted.size() / 2], sorted.front(), sorted.back(), sorted.size());
    return 0;
}

// Prints the steady-clock instant of the window's first paint, then ends.
class FirstPaint : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            std::printf("%lld\n", steady_ns());
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    bool seen_ = false;
};

int startup_child(int argc, char** argv) {
    QApplication application(argc, argv);
    testing::TempFolder folder;
    Form1 form(make_real_parts(folder.path(), QString()));
    FirstPaint watcher;
    form.installEventFilter(&watcher);
    form.show();
    return QApplication::exec();
}

struct Sample {
    double at = 0;
    Resident memory;
    bool recording = false;
};

int run_program(int argc, char** argv, const Options& options) {
    QApplication application(argc, argv);
    std::filesystem::create_directories(options.out + "/takes");
    const std::string takes = options.out + "/takes";

    std::vector<bench::Transmission> plan;
    std::string scenario;
    double run_seconds = 0;
    if (options.mode == "idle") {
        scenario = "5 | Bench | SCAN | no\n";
        run_seconds = 5.0 + options.seconds;
    } else if (options.mode == "take") {
        plan.push_back({kLeadIn, kLeadIn + options.seconds});
        scenario = bench::scenario_text(plan, kTail);
        run_seconds = plan.back().end + kTail;
    } else if (options.mode == "boundary") {
        plan = bench::plan_transmissions(options.count, options.seed, kLeadIn);
        scenario = bench::scenario_text(plan, kTail);
        run_seconds = plan.back().end + kTail;
    } else {
        std::fprintf(stderr, "taperly-bench-drive: --mode idle, take or boundary\n");
        return 2;
    }
    std::ofstream(options.out + "/windows.txt") << bench::windows_text(plan);
    std::ofstream(options.out + "/scenario.txt") << scenario;

    testing::SimulatorSettings settings =
        bench::simulator_settings(scenario, options.speed, options.out);
    settings.start_now = true;
    testing::SimulatorProcess simulator(settings);
    // The simulator's clock started as it named its line: the feed's too.
    const long long origin = steady_ns();
    const auto started = Clock::now();
    simulator.point_com_port(1);
    std::unique_ptr<ChildProcess> feed;
    if (!options.fifo.empty()) {
        std::vector<std::string> arguments{
            TAPERLY_BENCH_FEED,     options.fifo, std::to_string(kFeedRate),      "--origin-ns",
            std::to_string(origin), "--stats",    options.out + "/feed-stats.txt"};
        if (options.mode == "idle") {
            arguments.push_back("--silent");
        } else if (options.mode == "boundary") {
            arguments.push_back("--windows");
            arguments.push_back(options.out + "/windows.txt");
        }
        feed = std::make_unique<ChildProcess>(arguments);
    }

    Form1 form(make_real_parts(takes, QString()));
    QLineEdit* status_line = bench::show_and_run(form, options.speed);
    if (status_line == nullptr) {
        return 1;
    }
    const auto clicked = Clock::now();

    const auto elapsed = [&] {
        return std::chrono::duration<double>(Clock::now() - started).count();
    };
    // Room for every sample, written once before the run: a log that grows,
    // or whose untouched pages are first written during the run, would itself
    // show as the program's memory growing.
    std::vector<Sample> samples(static_cast<std::size_t>(run_seconds) + 16);
    samples.clear();
    const auto count_polls = [&] { return static_cast<long>(simulator.logged_commands().size()); };
    double cpu_start = 0;
    Switches wakes_start;
    std::map<std::string, long> threads_start;
    double wall_start = 0;
    long polls_start = 0;
    const bool idle = options.mode == "idle";
    const double measure_from = idle
                                    ? std::chrono::duration<double>(clicked - started).count() + 5.0
                                    : std::chrono::duration<double>(clicked - started).count();
    bool measuring = false;
    if (!idle) {
        cpu_start = cpu_seconds();
        wakes_start = wake_ups();
        threads_start = bench::wake_ups_by_thread();
        wall_start = elapsed();
        polls_start = count_polls();
        measuring = true;
    }
    const double end_at = idle ? measure_from + options.seconds : run_seconds;

    // Idle figures start after the settling time, exactly, and run for the
    // seconds asked.
    const auto start_measuring = [&] {
        cpu_start = cpu_seconds();
        wakes_start = wake_ups();
        threads_start = bench::wake_ups_by_thread();
        wall_start = elapsed();
        polls_start = count_polls();
        measuring = true;
        samples.push_back({elapsed(), resident_memory(), status_line->text() == "Recording"});
    };
    if (!measuring) {
        QTimer::singleShot(static_cast<int>((measure_from - elapsed()) * 1000), start_measuring);
    }
    // The end is read while the run is still on: quitting ends the run,
    // which stops the capture and saves what it must.
    double cpu = 0;
    Switches wakes_end;
    std::map<std::string, long> threads_end;
    double wall = 0;
    bool ended = false;
    const auto end_run = [&] {
        if (ended) {
            return;
        }
        ended = true;
        cpu = cpu_seconds() - cpu_start;
        wakes_end = wake_ups();
        threads_end = bench::wake_ups_by_thread();
        wall = elapsed() - wall_start;
        QCoreApplication::quit();
    };
    QTimer ticker;
    ticker.setTimerType(Qt::CoarseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const double now = elapsed();
        if (!measuring) {
            return;
        }
        samples.push_back({now, resident_memory(), status_line->text() == "Recording"});
        if (now >= end_at) {
            end_run();
        }
    });
    ticker.start(idle ? 10000 : 1000);
    // The last tick may come late; the run ends on time regardless.
    QTimer::singleShot(static_cast<int>((end_at - elapsed()) * 1000) + 50, &application, end_run);
    QApplication::exec();
    const double woke = static_cast<double>(wakes_end.woke - wakes_start.woke);
    const double preempted = static_cast<double>(wakes_end.preempted - wakes_start.preempted);
    // Before the simulator's log is read: reading it takes memory of its own.
    samples.push_back({elapsed(), resident_memory(), status_line->text() == "Recording"});
    const long polls = count_polls() - polls_start;

    std::ofstream rss_log(options.out + "/rss.csv");
    rss_log << "seconds,rss_kib,private_kib,sound_server_shared_kib,recording\n";
    for (const Sample& s : samples) {
        rss_log << s.at << "," << s.memory.total_kib << "," << s.memory.private_kib << ","
                << s.memory.shared_kib << "," << (s.recording ? 1 : 0) << "\n";
    }
    const char* stretch =
        idle ? "idle polling" : (options.mode == "take" ? "the take run" : "the run");
    std::printf(
        "- CPU over %s: %.3f s in %.1f s = %.3f %% of one core (%ld commands answered, "
        "%d bit/s; the program's threads woke %.0f times a second and were preempted %.0f "
        "times)\n",
        stretch, cpu, wall, 100.0 * cpu / wall, polls, options.speed, woke / wall,
        preempted / wall);
    std::string by_thread;
    for (const auto& [name, woke_end] : threads_end) {
        const auto before = threads_start.find(name);
        const long woke_then = before != threads_start.end() ? before->second : 0;
        char figure[96];
        std::snprintf(figure, sizeof figure, "%s%s %.1f", by_thread.empty() ? "" : ", ",
                      name.c_str(), static_cast<double>(woke_end - woke_then) / wall);
        by_thread += figure;
    }
    std::printf("- wake-ups a second by thread: %s\n", by_thread.c_str());
    long most = 0;
    for (const Sample& s : samples) {
        most = std::max(most, s.memory.total_kib);
    }
    if (idle) {
        std::printf(
            "- resident memory: %ld KiB at the start, %ld KiB at the end, %ld KiB at most\n",
            samples.front().memory.total_kib, samples.back().memory.total_kib, most);
    } else {
        const auto first = std::find_if(samples.begin(), samples.end(),
                                        [](const Sample& s) { return s.recording; });
        const auto last = std::find_if(samples.rbegin(), samples.rend(),
                                       [](const Sample& s) { return s.recording; });
        if (first != samples.end()) {
            // A minute in, the sound path's buffers have all been taken: what
            // grows after that grows with the take's length.
            const auto settled = std::find_if(
                first, samples.end(), [&](const Sample& s) { return s.at >= first->at + 60.0; });
            const Sample& minute = settled != samples.end() ? *settled : *last;
            std::printf(
                "- resident memory while recording: %ld KiB at %.0f s (the take's start), "
                "%ld KiB at %.0f s, %ld KiB at %.0f s (its end); %ld KiB at most over the "
                "run\n",
                first->memory.total_kib, first->at, minute.memory.total_kib, minute.at,
                last->memory.total_kib, last->at, most);
            std::printf(
                "- of which the program's own (anonymous) memory: %ld KiB, %ld KiB, %ld KiB; "
                "the sound server's audio pool mapped in: %ld KiB, %ld KiB, %ld KiB\n",
                first->memory.private_kib, minute.memory.private_kib, last->memory.private_kib,
                first->memory.shared_kib, minute.memory.shared_kib, last->memory.shared_kib);
        } else {
            std::printf("- the status line never said \"Recording\"\n");
        }
    }
    if (!status_line->text().isEmpty()) {
        std::printf("- status line at the end: \"%s\"\n", qPrintable(status_line->text()));
    }
    form.close();
    if (feed) {
        feed->stop();
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse_options(argc, argv);
    if (options.startup_child) {
        return startup_child(argc, argv);
    }
    if (options.startup_runs > 0) {
        return time_startup(argv[0], options.startup_runs);
    }
    if (options.out.empty()) {
        std::fprintf(stderr, "taperly-bench-drive: --out DIR is required\n");
        return 2;
    }
    return run_program(argc, argv, options);
}
