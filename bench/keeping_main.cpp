// What keeping takes for a number of days costs over a year's log: a
// takes.csv of the given rows (one take every few minutes, all ended long
// ago, no file there) is written into FOLDER, then read and decided upon as
// Taperly does once an hour.
//
// Usage: taperly-bench-keeping ROWS FOLDER
// Prints the rows, the log's bytes and the seconds one sweep took.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tracking/take_log.h"
#include "tracking/take_retention.h"

using namespace taperly;

namespace {

class CountedLog : public TakeLog {
  public:
    void add(const TakeLogEntry&) override { ++rows; }
    int rows = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ROWS FOLDER\n", argv[0]);
        return 2;
    }
    const long rows = std::atol(argv[1]);
    const std::string folder = argv[2];
    {
        std::ofstream log(folder + "/takes.csv", std::ios::binary);
        log << take_log_header();
        for (long row = 0; row < rows; ++row) {
            TakeLogEntry entry;
            // A take every five minutes through 2025.
            const long minute = row * 5;
            const LocalTime time{
                "",
                {2025, static_cast<int>(1 + minute / (60 * 24 * 31) % 12),
                 static_cast<int>(1 + minute / (60 * 24) % 28)},
                {static_cast<int>(minute / 60 % 24), static_cast<int>(minute % 60), 0, -5 * 3600}};
            entry.start = time;
            entry.end = time;
            entry.frames = 22050 * 7;
            entry.file_name = "State-Net_North-Area_Ops_" + std::to_string(row) + ".flac";
            entry.system = "State Net";
            entry.group = "North Area";
            entry.talkgroup = "Ops";
            entry.peak = 16000;
            log << take_log_row(entry);
        }
    }
    CountedLog removals;
    const LocalTime now{"", {2026, 12, 9}, {12, 0, 0, -5 * 3600}};
    const auto started = std::chrono::steady_clock::now();
    const int removed = remove_old_takes(folder, 30, now, removals);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("rows %ld log_bytes %lld removed %d seconds %.3f\n", rows,
                static_cast<long long>(std::filesystem::file_size(folder + "/takes.csv")), removed,
                seconds);
    std::filesystem::remove(folder + "/takes.csv");
    return 0;
}
