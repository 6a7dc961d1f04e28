// Polls a COM port the way Taperly does, STS and GID in turn from a timer,
// and reports what it cost: for measuring the serial adapter against the
// simulator (or a scanner).
#include <sys/resource.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "link/link_error.h"
#include "link/scanner_link.h"
#include "link/serial_scanner_port.h"

namespace {

double cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& time) { return time.tv_sec + time.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

int number_after(int argc, char** argv, const char* option, int fallback) {
    for (int at = 1; at + 1 < argc; ++at) {
        if (std::string(argv[at]) == option) {
            return std::atoi(argv[at + 1]);
        }
    }
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const int port_number = number_after(argc, argv, "--port", 1);
    const int speed = number_after(argc, argv, "--speed", 9600);
    const int seconds = number_after(argc, argv, "--seconds", 10);
    const int interval = number_after(argc, argv, "--interval", 100);

    std::string lost;
    taperly::SerialScannerPort port([&](const std::string& reason) {
        lost = reason;
        QCoreApplication::quit();
    });
    try {
        port.open(port_number, speed);
    } catch (const taperly::LinkError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    long polls = 0;
    long bytes = 0;
    long replies = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        try {
            taperly::send_command(port, polls++ % 2 == 0 ? "STS" : "GID");
            if (port.pending_input_count() != 0) {
                const std::string received = port.read_pending_input();
                bytes += static_cast<long>(received.size());
                replies += std::count(received.begin(), received.end(), '\r');
            }
        } catch (const taperly::LinkError& error) {
            // The port's own report, when it came first, says best what happened.
            if (lost.empty()) {
                lost = error.what();
            }
            QCoreApplication::quit();
        }
    });
    const double cpu_before = cpu_seconds();
    const auto wall_before = std::chrono::steady_clock::now();
    poll.start(interval);
    QTimer::singleShot(seconds * 1000, &application, &QCoreApplication::quit);
    application.exec();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_before).count();
    const double cpu = cpu_seconds() - cpu_before;
    std::printf("polls %ld, replies %ld, bytes %ld in %.2f s; CPU %.3f s = %.2f%% of one core\n",
                polls, replies, bytes, wall, cpu, 100.0 * cpu / wall);
    if (!lost.empty()) {
        std::printf("line lost: %s\n", lost.c_str());
        return 1;
    }
    return 0;
}
