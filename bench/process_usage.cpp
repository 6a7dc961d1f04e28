#include "bench/process_usage.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace taperly::bench {

double cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& time) { return time.tv_sec + time.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

Switches wake_ups() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return {usage.ru_nvcsw, usage.ru_nivcsw};
}

std::map<std::string, long> wake_ups_by_thread() {
    std::map<std::string, long> woke;
    const std::string self = std::to_string(::getpid());
    std::error_code error;
    for (std::filesystem::directory_iterator entry("/proc/self/task", error), end;
         !error && entry != end; entry.increment(error)) {
        std::string name;
        std::getline(std::ifstream(entry->path() / "comm"), name);
        if (entry->path().filename() == self) {
            name = "main";
        }
        std::ifstream status(entry->path() / "status");
        const std::string_view field = "voluntary_ctxt_switches:";
        for (std::string line; std::getline(status, line);) {
            if (line.rfind(field, 0) == 0) {
                woke[name] += std::atol(line.c_str() + field.size());
            }
        }
    }
    return woke;
}

Resident resident_memory() {
    std::ifstream status("/proc/self/status");
    Resident resident;
    std::string line;
    const auto value = [&](const char* field, long& into) {
        if (line.rfind(field, 0) == 0) {
            into = std::atol(line.c_str() + std::string_view(field).size());
        }
    };
    while (std::getline(status, line)) {
        value("VmRSS:", resident.total_kib);
        value("RssAnon:", resident.private_kib);
        value("RssShmem:", resident.shared_kib);
    }
    return resident;
}

int open_descriptors() {
    std::error_code error;
    int count = 0;
    for (std::filesystem::directory_iterator entry("/proc/self/fd", error), end;
         !error && entry != end; entry.increment(error)) {
        ++count;
    }
    // The listing's own descriptor is not the program's.
    return count > 0 ? count - 1 : 0;
}

}  // namespace taperly::bench
