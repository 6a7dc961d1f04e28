// The poll's timing while takes are heard: the real window against the
// scanner simulator, idle at first, then with the Takes window opened on
// TAKES takes and "play from here" given the oldest, played through the
// real player on the sound server PULSE_SERVER names. The gaps between the
// commands the scanner received tell when polls went out.
//
//   taperly-bench-play-polls --takes N --seconds S --out DIR
//
// Prints Markdown table rows of the gaps in each stretch.

#include <QApplication>
#include <QEventLoop>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/real_parts.h"
#include "bench/poll_gaps.h"
#include "bench/process_usage.h"
#include "bench/window_run.h"
#include "support/simulator_process.h"
#include "tracking/take_log_file.h"
#include "uploads/uploads_run.h"

namespace {

using namespace taperly;
using bench::command_times;
using bench::gaps_between;
using bench::print_gaps;

QTableView* takes_table() {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* table = top->findChild<QTableView*>("Takes"); table != nullptr) {
            return table;
        }
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    int takes = 40;
    int seconds = 45;
    std::string out = ".";
    for (int at = 1; at + 1 < argc; at += 2) {
        const std::string option = argv[at];
        if (option == "--takes") {
            takes = std::atoi(argv[at + 1]);
        } else if (option == "--seconds") {
            seconds = std::atoi(argv[at + 1]);
        } else if (option == "--out") {
            out = argv[at + 1];
        }
    }
    const std::string folder = out + "/takes";
    std::filesystem::create_directories(folder);
    // Takes of three seconds an hour ago, five seconds apart, tones rising.
    {
        TakeLogFile log(folder);
        for (int i = 0; i < takes; ++i) {
            const std::vector<short> sound = testing::tone(3, 500 + 25 * i);
            const std::string name = "Metro_TG-" + std::to_string(i) + "_9-05-07-PM_12-05-2026.wav";
            testing::write_take(folder + "/" + name, sound);
            TakeLogEntry entry;
            entry.start = testing::local_time_ago(3600 - 5 * i);
            entry.end = testing::local_time_ago(3597 - 5 * i);
            entry.frames = static_cast<std::int64_t>(sound.size());
            entry.file_name = name;
            entry.talkgroup = "TG " + std::to_string(i);
            log.add(entry);
        }
    }

    testing::SimulatorProcess simulator(
        bench::simulator_settings("3600 | Metro | SCAN | no\n", 57600, out));
    simulator.point_com_port(1);
    Form1 form(make_real_parts(folder, QString::fromStdString(folder + "/taperly-help.html")));
    if (bench::show_and_run(form, 57600) == nullptr) {
        return 1;
    }
    bench::turn_events_until([] { return false; }, std::chrono::seconds(15));
    const double idle_to = command_times(simulator.log_path()).back();

    // The Takes window opened, and played from its oldest take on.
    form.findChild<QPushButton*>("Command3")->click();
    QTableView* table = nullptr;
    bench::turn_events_until(
        [&] {
            table = takes_table();
            return table != nullptr && table->model()->rowCount() == takes;
        },
        std::chrono::seconds(30));
    if (table == nullptr || table->model()->rowCount() != takes) {
        std::printf("- the Takes window did not list the %d takes\n", takes);
        return 1;
    }
    const double open_to = command_times(simulator.log_path()).back();
    table->selectionModel()->setCurrentIndex(
        table->model()->index(takes - 1, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const double cpu_before = bench::cpu_seconds();
    table->window()->findChild<QPushButton*>("PlayFromHere")->click();
    const double play_from = command_times(simulator.log_path()).back();
    // Each take heard starts its position bar anew: that counts them.
    auto* position = table->window()->findChild<QSlider*>("Position");
    int last_position = 0;
    int starts = 0;
    bench::turn_events_until(
        [&] {
            starts += position->value() < last_position ? 1 : 0;
            last_position = position->value();
            return false;
        },
        std::chrono::seconds(seconds));
    const double play_to = command_times(simulator.log_path()).back();
    const double cpu = bench::cpu_seconds() - cpu_before;
    form.findChild<QPushButton*>("Command2")->click();

    const std::vector<double> times = command_times(simulator.log_path());
    const std::vector<double> idle = gaps_between(times, 3, idle_to);
    const double usual = idle.empty() ? 100 : idle[idle.size() / 2];
    std::printf(
        "| stretch | length | gaps | median | 99th percentile | largest | late by over 10 ms |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    print_gaps("idle, recording armed", idle, idle_to - 3, usual);
    print_gaps("the Takes window opening", gaps_between(times, idle_to, open_to), open_to - idle_to,
               usual);
    print_gaps("takes playing", gaps_between(times, play_from, play_to), play_to - play_from,
               usual);
    std::printf(
        "\nThe whole process's CPU while %d s of takes played: %.2f s; takes begun after "
        "the first: %d; the player's problem: \"%s\".\n",
        seconds, cpu, starts,
        qPrintable(table->window()->findChild<QLabel*>("PlayerProblem")->text()));
    return 0;
}
