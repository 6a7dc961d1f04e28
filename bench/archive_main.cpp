// What finding takes costs over a year of them: a takes folder of ROWS takes
// (a takes.csv written as Taperly writes it, an empty file for each take
// unless --no-files, a hundred stars) is made, its index built from nothing,
// and the Takes window opened on it and searched, while a 100 ms timer on
// the window's thread (as the poll's is) measures how late it fires.
//
// Usage: taperly-bench-archive make FOLDER ROWS [--no-files]
//        taperly-bench-archive build FOLDER CACHE
//        taperly-bench-archive open FOLDER CACHE
// Each phase runs in a process of its own, so that its memory is its own;
// each prints its figures as Markdown.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "archive/star_file.h"
#include "archive/take_archive.h"
#include "takes_window/qt_local_zone.h"
#include "takes_window/qt_trash.h"
#include "takes_window/takes_model.h"
#include "takes_window/takes_window.h"
#include "takes_window/unavailable_player.h"
#include "tracking/take_log.h"

using namespace taperly;

namespace {

// The process's peak and present resident memory, in MiB.
double status_mib(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0) {
            return std::atof(line.c_str() + std::strlen(field)) / 1024.0;
        }
    }
    return -1;
}

double cpu_ms() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

std::string load_average() {
    std::ifstream load("/proc/loadavg");
    std::string one;
    load >> one;
    return one;
}

double percentile(std::vector<double> values, double share) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

// How late a 100 ms timer on this thread fires, as the poll's timer would.
class Lateness : public QObject {
  public:
    Lateness() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(100);
        connect(&timer_, &QTimer::timeout, this, [this] {
            const qint64 now = clock_.nsecsElapsed();
            if (last_ > 0) {
                late_ms_.push_back(std::max<double>(0, (now - last_) / 1e6 - 100.0));
            }
            last_ = now;
        });
        clock_.start();
        timer_.start();
    }
    void restart() {
        late_ms_.clear();
        last_ = 0;
    }
    std::string summary() const {
        char text[160];
        std::snprintf(text, sizeof text,
                      "%zu firings: median %.1f ms, 99th percentile %.1f ms, "
                      "most %.1f ms late",
                      late_ms_.size(), percentile(late_ms_, 0.5), percentile(late_ms_, 0.99),
                      late_ms_.empty() ? 0.0 : *std::max_element(late_ms_.begin(), late_ms_.end()));
        return text;
    }

  private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    std::vector<double> late_ms_;
};

// Turns the event loop, asleep between events, until `done`.
void wait_until(const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer check;
    check.setInterval(5);
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done()) {
            loop.quit();
        }
    });
    check.start();
    if (!done()) {
        loop.exec();
    }
}

void wait_for(int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    wait_until([&] { return clock.elapsed() >= milliseconds; });
}

// Talkgroups, systems and display texts of a busy county.
struct Texts {
    std::vector<std::string> talkgroups;
    std::vector<std::string> systems = {"State Net",   "Metro P25",  "County EDACS",
                                        "Ridge Trunk", "Harbor Net", "Valley Fire"};
    std::vector<std::string> conventional = {"Marine 16", "Ch 5 Fire", "Rail Yard", "Air Ops",
                                             "Weather Radio"};
    Texts() {
        const char* stems[] = {"Fire Ops", "EMS",      "Sheriff Tac", "Police",     "Public Works",
                               "Interop",  "Dispatch", "Transit",     "School Bus", "Animal Ctrl"};
        for (const char* stem : stems) {
            for (int number = 1; number <= 30; ++number) {
                talkgroups.push_back(std::string(stem) + " " + std::to_string(number));
            }
        }
        talkgroups.insert(talkgroups.end(), {"Fire Dispatch", "Café Ops", "Bürgermeister",
                                             "North Ops", "Tac-2 \"Main\", East"});
    }
};

int make(const std::string& folder, long rows, bool files) {
    std::filesystem::create_directories(folder);
    std::ofstream log(folder + "/takes.csv", std::ios::binary);
    log << take_log_header();
    const Texts texts;
    std::mt19937 random(20261207);
    // A take every 31 s on the average through a year, newest now.
    long long second = 1733500000;
    std::vector<std::string> starred;
    for (long row = 0; row < rows; ++row) {
        second += 1 + static_cast<long long>(random() % 61);
        TakeLogEntry entry;
        const long long local = second - 5 * 3600;
        const long long day = local / 86400;
        const int of_day = static_cast<int>(local % 86400);
        // Days to a civil date, as the log's own writer wants them.
        long long z = day + 719468;
        const long long era = z / 146097;
        const long long doe = z - era * 146097;
        const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const long long mp = (5 * doy + 2) / 153;
        const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
        const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
        const int y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
        const int seconds = 1 + static_cast<int>(random() % 30);
        entry.start =
            LocalTime{"", {y, m, d}, {of_day / 3600, of_day / 60 % 60, of_day % 60, -18000}};
        const int end_of_day = std::min(of_day + seconds, 86399);
        entry.end = LocalTime{
            "", {y, m, d}, {end_of_day / 3600, end_of_day / 60 % 60, end_of_day % 60, -18000}};
        entry.frames = seconds * 22050LL;
        entry.peak = 3000 + static_cast<int>(random() % 29000);
        std::string name;
        if (random() % 5 == 0) {
            entry.display_line1 = texts.conventional[random() % texts.conventional.size()];
            entry.display_line2 = "Scan " + std::to_string(random() % 9);
            name = entry.display_line1 + "_-_" + entry.display_line2;
        } else {
            entry.system = texts.systems[random() % texts.systems.size()];
            entry.group = "Area " + std::to_string(1 + random() % 12);
            entry.talkgroup = texts.talkgroups[random() % texts.talkgroups.size()];
            entry.display_line1 = entry.system;
            entry.display_line2 = entry.talkgroup;
            name = entry.system + "_" + entry.group + "_" + entry.talkgroup;
        }
        for (char& c : name) {
            if (c == ' ' || c == '"' || c == ',') {
                c = '-';
            }
        }
        char times[64];
        std::snprintf(times, sizeof times, "_%d-%02d-%02d_%d-%02d-%02d_%02d-%02d-%04d.wav",
                      of_day / 3600, of_day / 60 % 60, of_day % 60, end_of_day / 3600,
                      end_of_day / 60 % 60, end_of_day % 60, m, d, y);
        entry.file_name = name + times;
        log << take_log_row(entry);
        if (files) {
            std::ofstream(folder + "/" + entry.file_name, std::ios::binary);
        }
        if (row % (rows / 100 + 1) == 0) {
            starred.push_back(entry.file_name);
        }
    }
    StarFile(folder).write(starred, true, "2026-12-07T00:00:00-05:00");
    std::printf("- %ld takes, takes.csv %.0f MB%s\n", rows,
                std::filesystem::file_size(folder + "/takes.csv") / 1e6,
                files ? ", an empty file for each" : ", no files (all missing)");
    return 0;
}

ArchiveSetup setup_for(const std::string& folder, const std::string& cache) {
    std::filesystem::create_directories(cache);
    return {folder,
            index_path_for(cache, folder),
            std::make_shared<QtLocalZone>(),
            [](std::function<void()> call) {
                QMetaObject::invokeMethod(qApp, std::move(call), Qt::QueuedConnection);
            },
            [] { return LocalTime{}; },
            nullptr,
            std::make_shared<QtTrash>()};
}

int build(const std::string& folder, const std::string& cache) {
    Lateness lateness;
    QElapsedTimer clock;
    clock.start();
    double log_read = 0;
    double listed = 0;
    bool done = false;
    ArchiveListener listener;
    listener.progress = [&](const OpenProgress& progress) {
        if (progress.stage != OpenProgress::Stage::kReadingLog && log_read == 0) {
            log_read = clock.elapsed() / 1000.0;
        }
        if ((progress.stage == OpenProgress::Stage::kReadingFiles ||
             progress.stage == OpenProgress::Stage::kDone) &&
            listed == 0) {
            listed = clock.elapsed() / 1000.0;
        }
        done = progress.stage == OpenProgress::Stage::kDone;
    };
    listener.refreshed = [] {};
    listener.arrived = [](const std::vector<ArchivedTake>&) {};
    listener.removed = [](const std::vector<std::int64_t>&) {};
    listener.changed = [](const std::vector<ArchivedTake>&) {};
    listener.choices = [](const std::vector<ChoiceCount>&, const std::vector<ChoiceCount>&) {};
    listener.failed = [](const std::string& problem) {
        std::fprintf(stderr, "failed: %s\n", problem.c_str());
        std::exit(1);
    };
    const ArchiveSetup setup = setup_for(folder, cache);
    std::error_code ignored;
    std::filesystem::remove(setup.index_path, ignored);
    {
        TakeArchive archive(setup, listener);
        archive.open();
        wait_until([&] { return done; });
    }
    const double total = clock.elapsed() / 1000.0;
    std::printf(
        "- The index built from nothing: takes.csv read in %.1f s, the folder looked at "
        "by %.1f s, all done in %.1f s\n",
        log_read, listed, total);
    std::printf("- Peak memory while building: %.0f MiB; the index: %.0f MB\n",
                status_mib("VmHWM:"), std::filesystem::file_size(setup.index_path) / 1e6);
    std::printf("- The window's thread meanwhile (a 100 ms timer): %s\n",
                lateness.summary().c_str());
    return 0;
}

struct Search {
    const char* what;
    std::function<void(TakesWindow&)> set;
};

int open(const std::string& folder, const std::string& cache) {
    Lateness lateness;
    // How late the timer is with nothing but the machine's own load.
    wait_for(15000);
    std::printf("- The same timer before the window was made (15 s, load average %s): %s\n",
                load_average().c_str(), lateness.summary().c_str());
    lateness.restart();
    UnavailablePlayer player("benchmark");
    TakesWindowParts parts;
    const ArchiveSetup setup = setup_for(folder, cache);
    parts.folder = folder;
    parts.index_path = setup.index_path;
    parts.player = &player;
    parts.zone = setup.zone;
    parts.trash = setup.trash;
    parts.now = setup.now;
    parts.now_seconds = [] { return 1733500000LL + 365LL * 86400; };
    QElapsedTimer clock;
    clock.start();
    TakesWindow window(std::move(parts));
    const double made = clock.nsecsElapsed() / 1e6;
    window.show();
    QApplication::processEvents();
    const double shown = clock.nsecsElapsed() / 1e6;
    TakesModel& model = window.model();
    wait_until([&] { return model.rowCount() > 0 && model.take_at(0) != nullptr; });
    const double first_rows = clock.elapsed() / 1000.0;
    // The index catches up with the folder behind the rows shown.
    wait_for(20000);
    const std::string opening = lateness.summary();
    std::printf(
        "- The newest takes shown %.2f s after the window was made (index there, "
        "%d takes listed); making the window took %.0f ms of the window's thread, showing "
        "it %.0f ms more\n",
        first_rows, model.rowCount(), made, shown - made);

    std::printf(
        "- The window's thread while it opened and the index caught up with the "
        "folder (20 s): %s\n",
        opening.c_str());

    auto* search = window.findChild<QLineEdit*>("Search");
    auto* span = window.findChild<QComboBox*>("Span");
    auto* starred = window.findChild<QCheckBox*>("StarredOnly");
    auto* talkgroups = window.findChild<QListWidget*>("Talkgroups");
    auto* systems = window.findChild<QListWidget*>("Systems");
    const auto check = [](QListWidget* list, int row, bool on) {
        if (list->count() > row) {
            list->item(row)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
        }
    };
    const std::vector<Search> searches = {
        {"fire", [&](TakesWindow&) { search->setText("fire"); }},
        {"fire disp", [&](TakesWindow&) { search->setText("fire disp"); }},
        {"e (a letter)", [&](TakesWindow&) { search->setText("e"); }},
        {"cafe", [&](TakesWindow&) { search->setText("cafe"); }},
        {"sheriff tac 7", [&](TakesWindow&) { search->setText("sheriff tac 7"); }},
        {"no such word", [&](TakesWindow&) { search->setText("zzyzx"); }},
        {"today", [&](TakesWindow&) { span->setCurrentIndex(2); }},
        {"last 7 days", [&](TakesWindow&) { span->setCurrentIndex(4); }},
        {"a talkgroup", [&](TakesWindow&) { check(talkgroups, 3, true); }},
        {"a system", [&](TakesWindow&) { check(systems, 1, true); }},
        {"starred only", [&](TakesWindow&) { starred->setChecked(true); }},
        {"ems + last 7 days + a system",
         [&](TakesWindow&) {
             search->setText("ems");
             span->setCurrentIndex(4);
             check(systems, 2, true);
         }},
    };
    // Clears every filter; whether there was one to clear.
    const auto reset = [&] {
        bool cleared =
            !search->text().isEmpty() || span->currentIndex() != 0 || starred->isChecked();
        search->clear();
        span->setCurrentIndex(0);
        starred->setChecked(false);
        for (QListWidget* list : {talkgroups, systems}) {
            for (int row = 0; row < list->count(); ++row) {
                cleared |= list->item(row)->checkState() == Qt::Checked;
                list->item(row)->setCheckState(Qt::Unchecked);
            }
        }
        return cleared;
    };
    int answers = 0;
    qint64 answered_at = 0;
    QElapsedTimer since;
    since.start();
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] {
        ++answers;
        answered_at = since.nsecsElapsed();
    });
    // Until no answer has come for 300 ms.
    const auto settle = [&] {
        for (int quiet = answers;; quiet = answers) {
            wait_for(300);
            if (answers == quiet) {
                return;
            }
        }
    };
    double last_cpu = 0;
    // The time from `change` to the last answer it brought (a change of
    // several filters asks several times; the last answer is the one shown).
    const auto answered_in = [&](const std::function<bool()>& change) {
        settle();
        const int before = answers;
        const qint64 asked_at = since.nsecsElapsed();
        const double cpu_before = cpu_ms();
        if (!change()) {
            return 0.0;
        }
        wait_until([&] { return answers > before; });
        settle();
        last_cpu = cpu_ms() - cpu_before;
        return (answered_at - asked_at) / 1e6;
    };

    lateness.restart();
    std::vector<double> all;
    std::vector<double> all_cpu;
    std::printf(
        "\nSearches (load average %s): the time from the change to the list's answer, and the "
        "CPU time the process spent on it meanwhile (the index's thread and the window's)\n\n"
        "| search or filter | median ms | 99th percentile ms | median CPU ms | takes |\n"
        "|---|---|---|---|---|\n",
        load_average().c_str());
    constexpr int kRepeats = 15;
    for (const Search& one : searches) {
        std::vector<double> times;
        std::vector<double> cpu;
        for (int repeat = 0; repeat < kRepeats; ++repeat) {
            answered_in(reset);
            times.push_back(answered_in([&] {
                one.set(window);
                return true;
            }));

            cpu.push_back(last_cpu);
        }
        all.insert(all.end(), times.begin(), times.end());
        all_cpu.insert(all_cpu.end(), cpu.begin(), cpu.end());
        std::printf("| %s | %.1f | %.1f | %.1f | %d |\n", one.what, percentile(times, 0.5),
                    percentile(times, 0.99), percentile(cpu, 0.5), model.rowCount());
    }
    std::printf("| **all %zu** | **%.1f** | **%.1f** | **%.1f** | |\n\n", all.size(),
                percentile(all, 0.5), percentile(all, 0.99), percentile(all_cpu, 0.5));
    std::printf("- The window's thread while it was searched: %s\n", lateness.summary().c_str());
    std::printf("- Peak memory of the window's process: %.0f MiB (now %.0f MiB)\n",
                status_mib("VmHWM:"), status_mib("VmRSS:"));
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 3 && args[0] == "make") {
        return make(args[1], std::atol(args[2].c_str()),
                    std::find(args.begin(), args.end(), "--no-files") == args.end());
    }
    if (args.size() == 3 && args[0] == "build") {
        return build(args[1], args[2]);
    }
    if (args.size() == 3 && args[0] == "open") {
        return open(args[1], args[2]);
    }
    std::fprintf(
        stderr,
        "usage: %s make FOLDER ROWS [--no-files] | build FOLDER CACHE | open FOLDER CACHE\n",
        argv[0]);
    return 2;
}
