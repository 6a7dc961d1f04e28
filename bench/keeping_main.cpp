// What keeping takes for a number of days costs over a long log, keeping
// 30 days: a takes.csv of the given rows (a take every five seconds from
// 2025-01-01 on, each row with its file's identity, none of the files there)
// is written into FOLDER, and the keeper's passes run over it as Taperly
// runs them:
//   first     once all but the last 30 days of rows are written: the log is
//             new to the keeper, every row counts as written now, and the
//             whole log is read to learn where the undecided rows begin;
//   catch-up  once the last 30 days are written too, an hour after the last
//             row and a year of watching later: every row before them is old
//             enough, its name is looked for in the folder, and none is
//             there; the last 30 days are read only for what they say of
//             older rows;
//   hourly    an hour later, as every hour from then on: only the rows not
//             decided for good, those of the last 30 days, are read.
// Each pass is timed, and the process's peak resident memory told after it.
//
// Usage: taperly-bench-keeping ROWS FOLDER

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "keeping/takes_keeping.h"
#include "tracking/take_log.h"
#include "tracking/take_naming.h"

using namespace taperly;

namespace {

class CountedLog : public TakeLog {
  public:
    void add(const TakeLogEntry&) override { ++rows; }
    int rows = 0;
};

long peak_resident_kib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Seconds of processor time, the system's included: on a machine others
// share, what the pass cost, where the wall clock also tells who waited.
double processor_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) { return time.tv_sec + time.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The date `days` days after 1970-01-01.
CalendarDate civil_from_days(long long days) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const auto day_of_era = static_cast<unsigned>(days - era * 146097);
    const unsigned year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const unsigned day_of_year =
        day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const unsigned shifted = (5 * day_of_year + 2) / 153;
    const int day = static_cast<int>(day_of_year - (153 * shifted + 2) / 5 + 1);
    const int month = static_cast<int>(shifted < 10 ? shifted + 3 : shifted - 9);
    return {static_cast<int>(year_of_era + era * 400 + (month <= 2 ? 1 : 0)), month, day};
}

LocalTime at_second(long long second) {
    const long long day = second / 86400;
    const long long in_day = second % 86400;
    return {"",
            civil_from_days(day),
            {static_cast<int>(in_day / 3600), static_cast<int>(in_day / 60 % 60),
             static_cast<int>(in_day % 60), 0}};
}

std::string clock_piece(const LocalTime& time) {
    return std::to_string(time.wall.hour) + "-" + std::to_string(time.wall.minute) + "-" +
           std::to_string(time.wall.second);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ROWS FOLDER\n", argv[0]);
        return 2;
    }
    const long rows = std::atol(argv[1]);
    const std::string folder = argv[2];
    const std::string log_path = folder + "/" + kTakesLogName;
    const long long first_second = 20089LL * 86400;  // 2025-01-01
    const long recent_rows = 30L * 86400 / 5;
    const auto write_rows = [&](long from, long to) {
        std::ofstream log(log_path, std::ios::binary | std::ios::app);
        if (from == 0) {
            log << take_log_header();
        }
        for (long row = from; row < to; ++row) {
            TakeLogEntry entry;
            entry.start = at_second(first_second + row * 5LL);
            entry.end = at_second(first_second + row * 5LL + 3);
            entry.frames = 22050 * 3;
            entry.file_name = "State-Net_North-Area_Ops_" + clock_piece(*entry.start) + "_" +
                              clock_piece(*entry.end) + "_" + date_text(entry.end->date) + ".flac";
            entry.system = "State Net";
            entry.group = "North Area";
            entry.talkgroup = "Ops";
            entry.peak = 16000;
            entry.file_bytes = 60000 + row % 1000;
            entry.fingerprint = "0123456789abcdef";
            log << take_log_row(entry);
        }
    };
    const long old_rows = std::max(0L, rows - recent_rows);
    std::filesystem::remove(log_path);
    write_rows(0, old_rows);
    const long long last_second = first_second + rows * 5LL;
    CountedLog removals;
    const std::atomic<bool> ending = false;
    TakesKeeping keeping(folder, 30, removals);
    struct Pass {
        const char* name;
        long long wall_second;
        std::chrono::hours steady;
    };
    const auto run = [&](const Pass& pass) {
        const auto started = std::chrono::steady_clock::now();
        const double processor_then = processor_seconds();
        const KeepingReport report = keeping.pass(at_second(pass.wall_second), pass.steady, ending);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::printf(
            "pass %s log_bytes %lld seconds %.3f processor_seconds %.3f removed %d trouble "
            "\"%s\" peak_kib %ld\n",
            pass.name, static_cast<long long>(std::filesystem::file_size(log_path)), seconds,
            processor_seconds() - processor_then, report.removed, report.trouble.c_str(),
            peak_resident_kib());
    };
    std::printf("rows %ld peak_kib_before %ld\n", rows, peak_resident_kib());
    run({"first", first_second + old_rows * 5LL, std::chrono::hours(0)});
    write_rows(old_rows, rows);
    const std::chrono::hours year(366 * 24);
    run({"catch-up", last_second + 3600, year});
    run({"hourly", last_second + 7200, year + std::chrono::hours(1)});
    std::filesystem::remove(log_path);
    std::filesystem::remove(folder + "/" + kKeepingStateName);
    return 0;
}
