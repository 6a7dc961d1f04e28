// Feeds a sine tone into a named pipe at the pace of real time, as a sound
// card would deliver it, for the private test sound server's pipe sources.
//
// Usage: taperly-tone PIPE FREQUENCY_HZ [RATE_HZ]
// Writes 16-bit little-endian mono samples until it is terminated.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace {

volatile std::sig_atomic_t stop_requested = 0;

void request_stop(int) {
    stop_requested = 1;
}

// The server opens its pipe when it loads the source; until then opening for
// writing without blocking fails, so keep trying for a while.
int open_pipe(const char* path) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!stop_requested) {
        int fd = ::open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PIPE FREQUENCY_HZ [RATE_HZ]\n", argv[0]);
        return 2;
    }
    const double frequency = std::atof(argv[2]);
    const long rate = argc > 3 ? std::atol(argv[3]) : 48000;
    if (frequency <= 0 || rate <= 0) {
        std::fprintf(stderr, "%s: frequency and rate must be positive\n", argv[0]);
        return 2;
    }
    std::signal(SIGTERM, request_stop);
    std::signal(SIGINT, request_stop);
    std::signal(SIGPIPE, SIG_IGN);

    int fd = open_pipe(argv[1]);
    if (fd < 0) {
        return 1;
    }
    // The server stops reading while nobody records; whatever waits in the
    // pipe then reaches the next recording as stale sound. One page keeps
    // that short.
    if (fcntl(fd, F_SETPIPE_SZ, 4096) < 0) {
        std::perror("F_SETPIPE_SZ");
    }

    // Samples are a function of time since the start: while the pipe is full
    // the samples due are dropped rather than queued, so the tone never runs
    // ahead of real time and never arrives in a burst.
    const auto start = std::chrono::steady_clock::now();
    const auto tick = std::chrono::milliseconds(5);
    std::int64_t sent = 0;
    std::vector<std::int16_t> chunk;
    while (!stop_requested) {
        const auto elapsed = std::chrono::steady_clock::now() - start;
        const std::int64_t due =
            std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count() * rate /
            1'000'000'000;
        // Never more than a pipe page at once, so a write is all or nothing.
        const std::int64_t count = std::min<std::int64_t>(due - sent, 2048);
        if (count > 0) {
            chunk.resize(static_cast<std::size_t>(count));
            for (std::int64_t i = 0; i < count; ++i) {
                const double phase =
                    2.0 * std::numbers::pi * frequency * static_cast<double>(sent + i) / rate;
                chunk[static_cast<std::size_t>(i)] =
                    static_cast<std::int16_t>(std::lround(16000.0 * std::sin(phase)));
            }
            ssize_t written = ::write(fd, chunk.data(), chunk.size() * sizeof(std::int16_t));
            if (written < 0 && errno == EPIPE) {
                break;
            }
            sent = due;
        }
        std::this_thread::sleep_for(tick);
    }
    ::close(fd);
    return 0;
}
