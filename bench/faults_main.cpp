// Runs the real window against the scanner simulator through two faults of
// an unattended day and times how it lives through them: the adapter pulled
// for a while and plugged back as another device behind its link, then the
// scanner falling silent. Measures this process only.
//
//   taperly-bench-faults --speed BPS --retry-seconds S --out DIR
//
// Prints, as Markdown list items: the CPU spent while the lost line was
// tried again, the time from the device's return to the first poll on it,
// and the time from the scanner's last byte to the no-answer message.

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>

#include "app/form1.h"
#include "app/real_parts.h"
#include "bench/process_usage.h"
#include "bench/window_run.h"
#include "support/simulator_process.h"

namespace {

using namespace taperly;
using Clock = std::chrono::steady_clock;

constexpr double kQuietBefore = 3.0;
constexpr double kSilence = 6.0;

double now_seconds() {
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

// The first command the simulator logged at or after `since` (its own clock).
std::optional<double> first_command_after(const std::string& log_path, double since) {
    std::ifstream log(log_path);
    double at = 0;
    std::string command;
    while (log >> at >> command) {
        if (at >= since) {
            return at;
        }
    }
    return std::nullopt;
}

std::optional<double> back_at(const std::string& simulator_errors) {
    static const std::regex back("the line is back on \\S+ at ([0-9.]+) s");
    std::smatch found;
    if (std::regex_search(simulator_errors, found, back)) {
        return std::atof(found[1].str().c_str());
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    int speed = 57600;
    int retry_seconds = 60;
    std::string out;
    for (int at = 1; at + 1 < argc; at += 2) {
        const std::string option = argv[at];
        if (option == "--speed") {
            speed = std::atoi(argv[at + 1]);
        } else if (option == "--retry-seconds") {
            retry_seconds = std::atoi(argv[at + 1]);
        } else if (option == "--out") {
            out = argv[at + 1];
        }
    }
    if (out.empty()) {
        std::fprintf(stderr,
                     "usage: taperly-bench-faults --speed BPS --retry-seconds S --out DIR\n");
        return 2;
    }
    QApplication application(argc, argv);
    std::filesystem::create_directories(out + "/takes");

    const std::string scenario = std::to_string(kQuietBefore) + " | Bench | SCAN | no\nunplug " +
                                 std::to_string(retry_seconds) +
                                 "\n5 | Bench | SCAN | no\nsilent " + std::to_string(kSilence) +
                                 "\n3600 | Bench | SCAN | no\n";
    testing::SimulatorSettings settings = bench::simulator_settings(scenario, speed, out);
    settings.link_path = out + "/by-id-bench-scanner";
    testing::SimulatorProcess simulator(settings);
    simulator.point_com_port(1);

    Form1 form(make_real_parts(out + "/takes", QString()));
    QLineEdit* status_line = bench::show_and_run(form, speed);
    if (status_line == nullptr) {
        return 1;
    }

    // Followed through the status line's own changes: no polling of ours
    // adds to the CPU measured while the line is tried again.
    std::optional<double> lost_at, lost_cpu, back_seen_at, back_cpu, silent_named_at;
    double last_byte_at = 0;
    QObject::connect(status_line, &QLineEdit::textChanged, [&](const QString& text) {
        const double now = now_seconds();
        if (!lost_at && text == "Line lost, trying again") {
            lost_at = now;
            lost_cpu = bench::cpu_seconds();
        } else if (lost_at && !back_seen_at && text != "Line lost, trying again") {
            back_seen_at = now;
            back_cpu = bench::cpu_seconds();
        } else if (back_seen_at && !silent_named_at && text == "Scanner does not answer") {
            silent_named_at = now;
            last_byte_at =
                std::chrono::duration<double>(form.run_control().tracker().activity().last_byte)
                    .count();
        } else if (silent_named_at && text == "Waiting") {
            QTimer::singleShot(500, &application, &QCoreApplication::quit);
        }
    });
    QTimer::singleShot((retry_seconds + 40) * 1000, &application, &QCoreApplication::quit);
    QApplication::exec();
    form.close();

    if (lost_at && back_seen_at) {
        const double wall = *back_seen_at - *lost_at;
        const double cpu = *back_cpu - *lost_cpu;
        std::printf(
            "- CPU while the lost line was tried again: %.3f s in %.1f s = %.3f %% of one core\n",
            cpu, wall, 100.0 * cpu / wall);
    } else {
        std::printf("- the line was never reported lost and back (status: \"%s\")\n",
                    qPrintable(status_line->text()));
    }
    const auto back = back_at(simulator.error_output());
    const auto first_poll = back ? first_command_after(simulator.log_path(), *back) : std::nullopt;
    if (back && first_poll) {
        std::printf("- from the device's return to the first poll on it: %.0f ms\n",
                    1000.0 * (*first_poll - *back));
    } else {
        std::printf("- no poll after the device's return was logged\n");
    }
    if (silent_named_at) {
        std::printf(
            "- from the scanner's last byte to \"Scanner does not answer\": %.0f ms (the limit is "
            "the longer of 2 s and ten poll intervals)\n",
            1000.0 * (*silent_named_at - last_byte_at));
    } else {
        std::printf("- the silent scanner was never named\n");
    }
    return 0;
}
