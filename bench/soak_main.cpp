// The soak: the whole program on its real parts for an hour or more, as a
// recorder left alone meets the day. The simulator plays a transmission
// about every 2 s on a talkgroup of its own; every 10 minutes the line is
// unplugged for 5 s; every 15 minutes the sound server is restarted. The
// feed sounds exactly in the transmissions, each sample numbered, so every
// take can be matched to what was played afterwards (taperly-bench-wav soak).
//
//   taperly-bench-soak --minutes M --out DIR --fifo PATH --server FOLDER
//                      --server-script PATH [--speed BPS] [--seed N]
//                      [--unplug-every SECONDS] [--restart-every SECONDS]
//
// Writes DIR/windows.txt (the transmissions), DIR/outages.txt (when Taperly
// could not record, in the scenario's seconds), DIR/usage.csv (memory and
// descriptors once a minute) and takes into DIR/takes; prints its figures as
// Markdown list items.

#include <malloc.h>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/form1.h"
#include "app/real_parts.h"
#include "bench/process_usage.h"
#include "bench/soak_plan.h"
#include "bench/window_run.h"
#include "support/simulator_process.h"
#include "tools/launch/child_process.h"

namespace {

using namespace taperly;
using SteadyClock = std::chrono::steady_clock;

constexpr double kLeadIn = 3.0;
constexpr double kUnplugFor = 5.0;
// A lost line is tried once a second: it is back within this of the device.
constexpr double kRetryPace = 1.0;
// What a recovery takes up settles by then: the sound input is found again,
// its first pieces taken.
constexpr int kSettleAfterFault = 3000;

struct Options {
    double minutes = 60;
    double unplug_every = 600;
    double restart_every = 900;
    int speed = 57600;
    unsigned long long seed = 20261208;
    std::string out;
    std::string fifo;
    std::string server;
    std::string server_script;
};

Options parse(int argc, char** argv) {
    Options options;
    for (int at = 1; at + 1 < argc; at += 2) {
        const std::string option = argv[at];
        const std::string value = argv[at + 1];
        if (option == "--minutes") {
            options.minutes = std::atof(value.c_str());
        } else if (option == "--unplug-every") {
            options.unplug_every = std::atof(value.c_str());
        } else if (option == "--restart-every") {
            options.restart_every = std::atof(value.c_str());
        } else if (option == "--speed") {
            options.speed = std::atoi(value.c_str());
        } else if (option == "--seed") {
            options.seed = std::strtoull(value.c_str(), nullptr, 10);
        } else if (option == "--out") {
            options.out = value;
        } else if (option == "--fifo") {
            options.fifo = value;
        } else if (option == "--server") {
            options.server = value;
        } else if (option == "--server-script") {
            options.server_script = value;
        }
    }
    return options;
}

struct Usage {
    double at = 0;
    bench::Resident memory;
    int descriptors = 0;
    // What the allocator holds: in use by the program, and freed but kept.
    long heap_in_use_kib = 0;
    long heap_kept_kib = 0;
};

Usage usage_at(double at) {
    const struct mallinfo2 heap = ::mallinfo2();
    return {at, bench::resident_memory(), bench::open_descriptors(),
            static_cast<long>((heap.uordblks + heap.hblkhd) / 1024),
            static_cast<long>(heap.fordblks / 1024)};
}

// Memory after each tenth of the faults, and the end against the first
// tenth: a recovery that keeps memory makes the rows climb.
void print_after_faults(const std::vector<std::pair<int, Usage>>& after_faults, const Usage& end) {
    if (after_faults.empty()) {
        return;
    }
    const int total = after_faults.back().first;
    std::printf(
        "- memory after each tenth of the %d faults (a line lost and back counts two, a "
        "restart of the sound server one; read %d ms after each):\n\n",
        total, kSettleAfterFault);
    std::printf(
        "  | faults | at s | resident KiB | own (anonymous) KiB | heap in use KiB | heap freed but "
        "kept KiB | descriptors |\n");
    std::printf("  |---|---|---|---|---|---|---|\n");
    int next_tenth = 1;
    const Usage* first_tenth = nullptr;
    for (const auto& [count, u] : after_faults) {
        if (count * 10 < next_tenth * total) {
            continue;
        }
        first_tenth = first_tenth != nullptr ? first_tenth : &u;
        std::printf("  | %d | %.0f | %ld | %ld | %ld | %ld | %d |\n", count, u.at,
                    u.memory.total_kib, u.memory.private_kib, u.heap_in_use_kib, u.heap_kept_kib,
                    u.descriptors);
        while (next_tenth * total <= count * 10) {
            ++next_tenth;
        }
    }
    std::printf(
        "\n- at the end: %ld KiB resident, %+ld KiB from the first tenth of the faults; own "
        "%+ld KiB; heap in use %+ld KiB, freed but kept %+ld KiB\n",
        end.memory.total_kib, end.memory.total_kib - first_tenth->memory.total_kib,
        end.memory.private_kib - first_tenth->memory.private_kib,
        end.heap_in_use_kib - first_tenth->heap_in_use_kib,
        end.heap_kept_kib - first_tenth->heap_kept_kib);
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    if (options.out.empty() || options.fifo.empty() || options.server.empty() ||
        options.server_script.empty()) {
        std::fprintf(stderr,
                     "usage: taperly-bench-soak --minutes M --out DIR --fifo PATH --server FOLDER "
                     "--server-script PATH [--speed BPS] [--seed N]\n");
        return 2;
    }
    QApplication application(argc, argv);
    std::filesystem::create_directories(options.out + "/takes");
    const double run_seconds = options.minutes * 60.0;

    const std::vector<bench::Transmission> plan =
        bench::plan_soak(run_seconds - 5.0, options.seed, kLeadIn);
    std::vector<bench::Outage> unplugs;
    for (double at = options.unplug_every; at + kUnplugFor < run_seconds;
         at += options.unplug_every) {
        unplugs.push_back({at, at + kUnplugFor, "unplugged"});
    }
    std::ofstream(options.out + "/windows.txt") << bench::windows_text(plan);
    const std::string scenario = bench::soak_scenario_text(plan, unplugs, run_seconds + 60.0);
    std::ofstream(options.out + "/scenario.txt") << scenario;

    testing::SimulatorSettings settings =
        bench::simulator_settings(scenario, options.speed, options.out);
    settings.start_now = true;
    settings.link_path = options.out + "/by-id-soak-scanner";
    testing::SimulatorProcess simulator(settings);
    const auto origin = SteadyClock::now();
    const long long origin_ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(origin.time_since_epoch()).count();
    simulator.point_com_port(1);
    launch::ChildProcess feed({TAPERLY_BENCH_FEED, options.fifo, "22050", "--origin-ns",
                               std::to_string(origin_ns), "--windows", options.out + "/windows.txt",
                               "--reopen", "--stats", options.out + "/feed-stats.txt"});
    const auto elapsed = [&] {
        return std::chrono::duration<double>(SteadyClock::now() - origin).count();
    };

    Form1 form(make_real_parts(options.out + "/takes", QString()));
    QLineEdit* status_line = bench::show_and_run(form, options.speed);
    if (status_line == nullptr) {
        return 1;
    }
    const double cpu_start = bench::cpu_seconds();
    const double wall_start = elapsed();

    // The outages the program met: the unplugs as planned (the line is back
    // within a retry of the device), the restarts as they happened.
    std::vector<bench::Outage> outages;
    for (const bench::Outage& u : unplugs) {
        outages.push_back({u.start, u.end + kRetryPace, u.what});
    }
    std::vector<Usage> usage;
    usage.reserve(static_cast<std::size_t>(options.minutes) + 8);
    usage.push_back(usage_at(elapsed()));
    std::optional<Usage> after_first_take;
    QObject::connect(status_line, &QLineEdit::textChanged, [&](const QString&) {
        if (!after_first_take && !form.run_control().tracker().state().take_in_progress() &&
            elapsed() > kLeadIn + 1.0) {
            // Once the first take is closed and its file saved.
            QTimer::singleShot(1000, [&] {
                if (!after_first_take) {
                    after_first_take = usage_at(elapsed());
                }
            });
        }
    });

    // Memory once each fault is over: a line lost and back counts two, a
    // restart of the server one. What a recovery keeps for good shows as a
    // step that the next ones repeat.
    int faults = 0;
    std::vector<std::pair<int, Usage>> after_faults;
    const auto fault_over = [&](int counted) {
        QTimer::singleShot(kSettleAfterFault, [&, counted] {
            faults += counted;
            after_faults.emplace_back(faults, usage_at(elapsed()));
        });
    };
    for (const bench::Outage& u : unplugs) {
        QTimer::singleShot(static_cast<int>((u.end + kRetryPace - elapsed()) * 1000),
                           [&] { fault_over(2); });
    }
    QProcess restart;
    double restart_began = 0;
    int restarts_done = 0;
    QObject::connect(&restart, &QProcess::finished, [&] {
        // The server answers again; capture follows at the next status reply.
        outages.push_back({restart_began, elapsed() + 0.5, "sound-server-restart"});
        fault_over(1);
    });
    QTimer minute;
    minute.setTimerType(Qt::CoarseTimer);
    QObject::connect(&minute, &QTimer::timeout, [&] { usage.push_back(usage_at(elapsed())); });
    minute.start(60000);
    QTimer restarts;
    QObject::connect(&restarts, &QTimer::timeout, [&] {
        // A restart in the last minute would leave the end's figures taken
        // while the input is gone, not as the run stands.
        if (restart.state() != QProcess::NotRunning || elapsed() + 60.0 > run_seconds) {
            return;
        }
        ++restarts_done;
        restart_began = elapsed();
        restart.start("bash", {"-c", QString::fromStdString("'" + options.server_script +
                                                            "' stop '" + options.server + "' && '" +
                                                            options.server_script + "' start '" +
                                                            options.server + "' >/dev/null")});
    });
    restarts.start(static_cast<int>(options.restart_every * 1000));
    // The end is read while the run is still on: quitting closes the window,
    // which ends the run and gives back the port and the sound input.
    double cpu = 0;
    double wall = 0;
    Usage end;
    QTimer::singleShot(static_cast<int>(run_seconds * 1000), [&] {
        minute.stop();
        cpu = bench::cpu_seconds() - cpu_start;
        wall = elapsed() - wall_start;
        end = usage_at(elapsed());
        QCoreApplication::quit();
    });
    QApplication::exec();
    form.findChild<QPushButton*>("Command2")->click();
    form.close();
    feed.stop();
    std::ofstream(options.out + "/outages.txt") << bench::outages_text(outages);
    std::ofstream log(options.out + "/usage.csv");
    log << "seconds,rss_kib,private_kib,sound_server_shared_kib,descriptors\n";
    for (const Usage& u : usage) {
        log << u.at << "," << u.memory.total_kib << "," << u.memory.private_kib << ","
            << u.memory.shared_kib << "," << u.descriptors << "\n";
    }
    const Usage first = after_first_take.value_or(usage.front());
    const double hours = (end.at - first.at) / 3600.0;
    std::printf(
        "- run: %.1f minutes at %d bit/s; %zu transmissions planned; the line unplugged "
        "%zu times for %.0f s; the sound server restarted %d times\n",
        wall / 60.0, options.speed, plan.size(), unplugs.size(), kUnplugFor, restarts_done);
    std::printf("- CPU: %.2f s in %.0f s = %.3f %% of one core\n", cpu, wall, 100.0 * cpu / wall);
    std::printf(
        "- resident memory: %ld KiB after the first take (%.0f s), %ld KiB at the end "
        "(%.0f s): %+.0f KiB an hour; of which the program's own (anonymous): %ld KiB, "
        "%ld KiB\n",
        first.memory.total_kib, first.at, end.memory.total_kib, end.at,
        hours > 0 ? (end.memory.total_kib - first.memory.total_kib) / hours : 0.0,
        first.memory.private_kib, end.memory.private_kib);
    std::printf("- open descriptors: %d at the start, %d after the first take, %d at the end\n",
                usage.front().descriptors, first.descriptors, end.descriptors);
    print_after_faults(after_faults, end);
    std::printf("- status line at the end: \"%s\"\n", qPrintable(status_line->text()));
    return 0;
}
