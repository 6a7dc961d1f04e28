// Times the recorder's orders against the sound server that PULSE_SERVER
// names, or watches its memory over one long take.
//
//   recorder_orders_bench            median time of each order
//   recorder_orders_bench --long S   resident memory during an S-second take

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "recorder/recorder_orders.h"
#include "recorder/sound_recorder.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace taperly;

std::string make_folder() {
    std::string pattern = "/tmp/taperly-bench-XXXXXX";
    return mkdtemp(pattern.data());
}

long resident_kib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

void run_events_for(Clock::duration span) {
    const auto until = Clock::now() + span;
    while (Clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

// Median time of `order`, each run set up by `before` and undone by `after`.
void time_order(const char* what, int runs, const std::function<void()>& before,
                const std::function<void()>& order, const std::function<void()>& after) {
    std::vector<double> micros;
    for (int run = 0; run < runs; ++run) {
        before();
        const auto started = Clock::now();
        order();
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - started).count());
        after();
        QCoreApplication::processEvents();
    }
    std::sort(micros.begin(), micros.end());
    std::printf("%-40s median %10.2f us   max %10.2f us   (%d runs)\n", what,
                micros[micros.size() / 2], micros.back(), runs);
}

void time_orders(const std::string& folder) {
    auto recorder = make_sound_recorder(folder);
    RecorderControl& r = *recorder;
    const auto nothing = [] {};
    const auto order = [&](const char* name) { return [&r, name] { r.Command(name); }; };
    const auto close = order("close");
    const auto open_recording = [&] {
        r.Command("Open");
        r.Command("Record");
    };
    const int runs = 200;

    time_order("first \"Open\"", runs, nothing, order("Open"), close);
    time_order("first \"Record\" (starts capture)", 50, order("Open"), order("Record"), close);
    r.Command("Open");
    r.Command("Record");
    time_order("repeated \"Open\" while recording", runs, nothing, order("Open"), nothing);
    time_order("repeated \"Record\" while recording", runs, nothing, order("Record"), nothing);
    time_order(
        "open_and_record while recording", runs, nothing, [&] { open_and_record(r); }, nothing);
    r.Command("close");
    time_order("\"stop\" on a closed recorder", runs, nothing, order("stop"), nothing);
    time_order("\"save\" on a closed recorder", runs, nothing, order("save"), nothing);
    time_order("\"close\" on a closed recorder", runs, nothing, order("close"), nothing);
    time_order("\"stop\" ending a take", 50, open_recording, order("stop"), close);
    int take = 0;
    time_order(
        "\"save\" of a stopped take", 50,
        [&] {
            open_recording();
            r.Command("stop");
            r.setFileName("take-" + std::to_string(++take) + ".wav");
        },
        order("save"), close);
    time_order(
        "\"close\" of a saved take", 50,
        [&] {
            open_recording();
            r.Command("stop");
            r.setFileName("take-" + std::to_string(++take) + ".wav");
            r.Command("save");
        },
        close, nothing);
    time_order(
        "warm_up_recorder", 20, nothing, [&] { warm_up_recorder(r); }, nothing);
}

void watch_memory(const std::string& folder, int seconds) {
    auto recorder = make_sound_recorder(folder);
    std::printf("before the take: %ld KiB resident\n", resident_kib());
    const auto started = Clock::now();
    open_and_record(*recorder);
    int reported = 0;
    while (Clock::now() - started < std::chrono::seconds(seconds)) {
        run_events_for(std::chrono::milliseconds(200));
        open_and_record(*recorder);
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started).count();
        if (elapsed >= 10 && elapsed / 60 >= reported) {
            std::printf("after %4lld s: %ld KiB resident, mode %d\n",
                        static_cast<long long>(elapsed), resident_kib(), recorder->Mode());
            std::fflush(stdout);
            reported = static_cast<int>(elapsed / 60) + 1;
        }
    }
    recorder->Command("stop");
    recorder->setFileName("long.wav");
    recorder->Command("save");
    recorder->Command("close");
    std::printf("after the take (%d s): %ld KiB resident\n", seconds, resident_kib());
    std::ifstream saved(folder + "/long.wav", std::ios::binary | std::ios::ate);
    std::printf("saved %s/long.wav: %lld bytes (%.1f s of sound)\n", folder.c_str(),
                static_cast<long long>(saved.tellg()),
                static_cast<double>(static_cast<long long>(saved.tellg()) - 44) / 2 / 22050);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::string folder = make_folder();
    if (argc > 2 && std::string(argv[1]) == "--long") {
        watch_memory(folder, std::atoi(argv[2]));
    } else {
        time_orders(folder);
    }
    std::printf("takes folder: %s\n", folder.c_str());
    return 0;
}
