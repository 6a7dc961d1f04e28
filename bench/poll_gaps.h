#pragma once

// The polls' timing as the scanner simulator saw it: the times of the
// commands it received, the gaps between them in a stretch, and a Markdown
// row of those gaps; and turning the window's events for a while.

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace taperly::bench {

inline std::vector<double> command_times(const std::string& log) {
    std::vector<double> times;
    std::ifstream in(log);
    double at = 0;
    std::string command;
    while (in >> at >> command) {
        times.push_back(at);
    }
    return times;
}

// The gaps in milliseconds between commands that both fall in [from, to], sorted.
inline std::vector<double> gaps_between(const std::vector<double>& times, double from, double to) {
    std::vector<double> gaps;
    for (std::size_t i = 1; i < times.size(); ++i) {
        if (times[i - 1] >= from && times[i] <= to) {
            gaps.push_back((times[i] - times[i - 1]) * 1000);
        }
    }
    std::sort(gaps.begin(), gaps.end());
    return gaps;
}

// A row of the table: stretch, length, gaps, median, 99th percentile,
// largest, and how many were late by over 10 ms beyond `usual`.
inline void print_gaps(const char* stretch, const std::vector<double>& gaps, double length,
                       double usual) {
    if (gaps.empty()) {
        std::printf("| %s | no polls |\n", stretch);
        return;
    }
    const auto late =
        std::count_if(gaps.begin(), gaps.end(), [usual](double gap) { return gap > usual + 10; });
    std::printf("| %s | %.1f s | %zu | %.1f ms | %.1f ms | %.1f ms | %ld |\n", stretch, length,
                gaps.size(), gaps[gaps.size() / 2], gaps[gaps.size() * 99 / 100], gaps.back(),
                static_cast<long>(late));
}

// Turns the event loop until `done` holds or `limit` passed; whether it holds.
inline bool turn_events_until(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        QEventLoop loop;
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

}  // namespace taperly::bench
