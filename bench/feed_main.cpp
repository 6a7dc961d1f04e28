// Feeds the bench's named-sample signal into a sound server's pipe source at
// the pace of real time, as a sound card would deliver it. Sample n is due
// at ORIGIN + n / RATE; with a windows file the signal sounds only inside
// the listed stretches (the transmissions) and is digital silence between.
//
// Usage: taperly-bench-feed PIPE RATE [--origin-ns NS] [--windows FILE]
//                           [--silent] [--stats FILE]
//   --origin-ns  the steady-clock instant of sample 0 (default: now)
//   --windows    lines "START END" in seconds after the origin
//   --silent     digital silence throughout
//   --stats      written at the end: samples written and samples dropped
//                because the pipe was full or gone, with the dropped ranges
//   --reopen     when the pipe goes (its sound server restarted), drop the
//                samples due and open it again as soon as it is back
// Runs until terminated.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/signal_code.h"

namespace {

volatile std::sig_atomic_t stop_requested = 0;

void request_stop(int) {
    stop_requested = 1;
}

// The server makes its pipe when it loads the source; keep trying a while.
int open_pipe(const char* path) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!stop_requested) {
        const int fd = ::open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            return fd;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            std::perror(path);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

using Window = std::pair<std::int64_t, std::int64_t>;

std::vector<Window> read_windows(const std::string& path, long rate) {
    std::vector<Window> windows;
    std::ifstream in(path);
    double start = 0;
    double end = 0;
    while (in >> start >> end) {
        windows.emplace_back(static_cast<std::int64_t>(start * static_cast<double>(rate)),
                             static_cast<std::int64_t>(end * static_cast<double>(rate)));
    }
    return windows;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: %s PIPE RATE [--origin-ns NS] [--windows FILE] [--silent] "
                     "[--stats FILE]\n",
                     argv[0]);
        return 2;
    }
    const long rate = std::atol(argv[2]);
    if (rate <= 0) {
        std::fprintf(stderr, "%s: the rate must be positive\n", argv[0]);
        return 2;
    }
    auto origin = std::chrono::steady_clock::now();
    std::vector<Window> windows;
    bool windowed = false;
    bool silent = false;
    bool reopen = false;
    std::string stats_path;
    for (int at = 3; at < argc; ++at) {
        const std::string option = argv[at];
        if (option == "--silent") {
            silent = true;
        } else if (option == "--reopen") {
            reopen = true;
        } else if (at + 1 < argc && option == "--origin-ns") {
            origin = std::chrono::steady_clock::time_point(
                std::chrono::nanoseconds(std::atoll(argv[++at])));
        } else if (at + 1 < argc && option == "--windows") {
            windows = read_windows(argv[++at], rate);
            windowed = true;
        } else if (at + 1 < argc && option == "--stats") {
            stats_path = argv[++at];
        } else {
            std::fprintf(stderr, "%s: unknown option %s\n", argv[0], option.c_str());
            return 2;
        }
    }
    std::signal(SIGTERM, request_stop);
    std::signal(SIGINT, request_stop);
    std::signal(SIGPIPE, SIG_IGN);

    int fd = open_pipe(argv[1]);
    if (fd < 0) {
        return 1;
    }
    // One page: what waits in the pipe while nobody reads stays short.
    const auto one_page = [](int pipe) {
        if (fcntl(pipe, F_SETPIPE_SZ, 4096) < 0) {
            std::perror("F_SETPIPE_SZ");
        }
    };
    one_page(fd);

    // Samples are asked for in order, so the window to look at only moves on.
    std::sort(windows.begin(), windows.end());
    std::size_t next_window = 0;
    const auto sounding = [&](std::int64_t n) {
        if (silent) {
            return false;
        }
        if (!windowed) {
            return true;
        }
        while (next_window < windows.size() && windows[next_window].second <= n) {
            ++next_window;
        }
        return next_window < windows.size() && n >= windows[next_window].first;
    };

    // Samples are a function of time: while the pipe is full the samples due
    // are dropped rather than queued, so the feed never runs ahead of or
    // behind real time. Drops are counted, so a gap in a recording can be
    // told apart from one the feed made.
    std::int64_t sent = 0;
    std::int64_t written = 0;
    std::vector<Window> dropped;
    std::vector<std::int16_t> chunk;
    std::this_thread::sleep_until(origin);
    while (!stop_requested) {
        const auto elapsed = std::chrono::steady_clock::now() - origin;
        const std::int64_t due =
            std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count() * rate /
            1'000'000'000;
        // Never more than a pipe page at once, so a write is all or nothing.
        const std::int64_t count = std::min<std::int64_t>(due - sent, 2048);
        if (count > 0) {
            chunk.resize(static_cast<std::size_t>(count));
            for (std::int64_t i = 0; i < count; ++i) {
                const std::int64_t n = sent + i;
                chunk[static_cast<std::size_t>(i)] =
                    sounding(n) ? taperly::bench::signal_sample(n) : 0;
            }
            if (fd < 0 && (fd = ::open(argv[1], O_WRONLY | O_NONBLOCK | O_CLOEXEC)) >= 0) {
                one_page(fd);
            }
            const ssize_t result =
                fd < 0 ? -1 : ::write(fd, chunk.data(), chunk.size() * sizeof(std::int16_t));
            if (result < 0 && fd >= 0 && errno == EPIPE) {
                ::close(fd);
                fd = -1;
                if (!reopen) {
                    break;
                }
            }
            if (result > 0) {
                written += count;
            } else if (!dropped.empty() && dropped.back().second == sent) {
                dropped.back().second = sent + count;
            } else {
                dropped.emplace_back(sent, sent + count);
            }
            sent += count;
            // A long stall: skip what is more than a page behind.
            if (due - sent > 2048) {
                if (!dropped.empty() && dropped.back().second == sent) {
                    dropped.back().second = due;
                } else {
                    dropped.emplace_back(sent, due);
                }
                sent = due;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (fd >= 0) {
        ::close(fd);
    }
    if (!stats_path.empty()) {
        std::ofstream stats(stats_path);
        std::int64_t lost = 0;
        for (const Window& w : dropped) {
            lost += w.second - w.first;
        }
        stats << "written " << written << "\ndropped " << lost << "\n";
        for (const Window& w : dropped) {
            stats << "gap " << w.first << " " << w.second << "\n";
        }
    }
    return 0;
}
