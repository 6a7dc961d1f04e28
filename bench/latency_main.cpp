// Measures the sound path the recorder captures through: how old a sound is
// when the capture hands it over, and how often the capture's thread wakes.
// The feed sounds a burst every second; each burst's first sample is found
// in what was captured and dated as the recorder dates it (the moment its
// piece reached the process, less the samples after it), against the moment
// the feed was due to write it. The least of these is the latency the
// recorder may take off every date: no sound reaches it sooner.
//
//   taperly-bench-latency --fifo PIPE [--source NAME] [--seconds S]
//                         [--piece MS] [--gather MS] [--rate HZ]
//   --fifo    the server's pipe source's file, fed by taperly-bench-feed
//   --source  the source to capture (default: the server's default)
//   --piece, --gather  the capture's pace (default: the recorder's own)
//   --rate    the rate the pipe source reads (default 22050)

#include <poll.h>
#include <unistd.h>

#include <dirent.h>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "recorder/capture/default_source.h"
#include "recorder/capture/pulse_capture.h"
#include "recorder/capture/pulse_pace.h"
#include "tools/launch/child_process.h"

namespace {

using namespace taperly;
using Clock = std::chrono::steady_clock;

constexpr int kCaptureRate = 22050;
constexpr double kBurstAt = 0.5;
constexpr double kBurstLength = 0.3;
// Silence this long before a sample makes it a burst's first.
constexpr std::size_t kQuietBefore = kCaptureRate / 10;

struct Options {
    std::string fifo;
    std::string source;
    int seconds = 30;
    int rate = kCaptureRate;
    PulseCapture::Pace pace = kTakePace;
};

Options parse(int argc, char** argv) {
    Options options;
    for (int at = 1; at + 1 < argc; at += 2) {
        const std::string option = argv[at];
        const char* value = argv[at + 1];
        if (option == "--fifo") {
            options.fifo = value;
        } else if (option == "--source") {
            options.source = value;
        } else if (option == "--seconds") {
            options.seconds = std::atoi(value);
        } else if (option == "--rate") {
            options.rate = std::atoi(value);
        } else if (option == "--piece") {
            options.pace.piece = std::chrono::milliseconds(std::atoi(value));
        } else if (option == "--gather") {
            options.pace.gather = std::chrono::milliseconds(std::atoi(value));
        } else {
            std::fprintf(stderr, "taperly-bench-latency: unknown option %s\n", option.c_str());
            std::exit(2);
        }
    }
    if (options.fifo.empty()) {
        std::fprintf(stderr, "taperly-bench-latency: --fifo PIPE is required\n");
        std::exit(2);
    }
    return options;
}

launch::ChildProcess start_feed(const Options& options, long long origin_ns,
                                const std::string& windows) {
    return launch::ChildProcess({TAPERLY_BENCH_FEED, options.fifo, std::to_string(options.rate),
                                 "--origin-ns", std::to_string(origin_ns), "--windows", windows});
}

// Context switches of every thread but the calling one (the capture's):
// those it went to sleep for, and those it was put aside for another.
struct Switches {
    long woke = 0;
    long preempted = 0;
};

Switches other_threads_switches() {
    Switches total;
    const std::string self = std::to_string(::gettid());
    DIR* tasks = ::opendir("/proc/self/task");
    if (tasks == nullptr) {
        return total;
    }
    while (const dirent* entry = ::readdir(tasks)) {
        const std::string tid = entry->d_name;
        if (tid == "." || tid == ".." || tid == self) {
            continue;
        }
        std::ifstream status("/proc/self/task/" + tid + "/status");
        std::string line;
        while (std::getline(status, line)) {
            const long count = std::atol(line.c_str() + line.find(':') + 1);
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0) {
                total.woke += count;
            } else if (line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
                total.preempted += count;
            }
        }
    }
    ::closedir(tasks);
    return total;
}

double percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    std::string source = options.source;
    if (source.empty()) {
        source = ask_default_source(std::chrono::milliseconds(1000)).default_source;
    }
    std::string problem;
    auto capture = PulseCapture::start(source, options.pace, std::chrono::seconds(2), problem);
    if (!capture) {
        std::fprintf(stderr, "taperly-bench-latency: %s\n", problem.c_str());
        return 1;
    }

    char windows[] = "/tmp/taperly-latency-XXXXXX";
    const int windows_fd = ::mkstemp(windows);
    {
        std::string text;
        for (int second = 1; second <= options.seconds + 1; ++second) {
            text += std::to_string(second + kBurstAt) + " " +
                    std::to_string(second + kBurstAt + kBurstLength) + "\n";
        }
        [[maybe_unused]] const ssize_t written = ::write(windows_fd, text.data(), text.size());
        ::close(windows_fd);
    }
    const Clock::time_point origin = Clock::now();
    const long long origin_ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(origin.time_since_epoch()).count();
    launch::ChildProcess feed = start_feed(options, origin_ns, windows);

    // Taken as the recorder takes it: when woken, and every 200 ms (a status
    // reply) in any case.
    std::vector<std::int16_t> frames;
    std::vector<char> bytes;
    std::vector<double> ages_ms;
    const Switches before = other_threads_switches();
    const Clock::time_point end = origin + std::chrono::seconds(options.seconds + 1);
    std::size_t zeros = 0;
    int next_burst = 1;
    while (Clock::now() < end && !capture->failed()) {
        pollfd wake{capture->wake_fd(), POLLIN, 0};
        ::poll(&wake, 1, 200);
        const Clock::time_point newest_at = capture->take(bytes);
        const std::size_t whole = bytes.size() / 2;
        const std::size_t first = frames.size();
        frames.resize(first + whole);
        std::memcpy(frames.data() + first, bytes.data(), whole * 2);
        bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(whole * 2));
        for (std::size_t at = first; at < frames.size(); ++at) {
            if (frames[at] == 0) {
                ++zeros;
                continue;
            }
            if (zeros >= kQuietBefore) {
                // Which burst it is, by the time it came: bursts are a second apart.
                const auto dated =
                    newest_at -
                    std::chrono::microseconds(static_cast<long long>(
                        1e6 * static_cast<double>(frames.size() - 1 - at) / kCaptureRate));
                const double since_origin = std::chrono::duration<double>(dated - origin).count();
                const int burst = static_cast<int>(since_origin - kBurstAt + 0.5);
                if (burst >= next_burst) {
                    const double due = burst + kBurstAt;
                    ages_ms.push_back(1000.0 * (since_origin - due));
                    next_burst = burst + 1;
                }
            }
            zeros = 0;
        }
    }
    const Switches after = other_threads_switches();
    const double seconds = std::chrono::duration<double>(Clock::now() - origin).count();
    feed.stop();
    ::unlink(windows);
    if (ages_ms.empty()) {
        std::printf("- no burst was captured from %s\n", source.c_str());
        return 1;
    }
    std::printf(
        "- source %s, pieces of %lld ms, reader woken at %lld ms: %zu bursts; a burst's first "
        "sample was %.1f ms old at the least, %.1f ms in the median, %.1f ms at the most when "
        "the capture dated it; the capture's thread woke %.1f times a second and was preempted "
        "%.1f "
        "times\n",
        source.c_str(), static_cast<long long>(options.pace.piece.count()),
        static_cast<long long>(options.pace.gather.count()), ages_ms.size(),
        percentile(ages_ms, 0.0), percentile(ages_ms, 0.5), percentile(ages_ms, 1.0),
        static_cast<double>(after.woke - before.woke) / seconds,
        static_cast<double>(after.preempted - before.preempted) / seconds);
    return 0;
}
