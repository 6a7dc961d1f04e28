// Reads recordings of the bench feed and tells what they hold.
//
//   taperly-bench-wav continuity FILE [FEED_STATS]
//       whether one long take holds the feed without a sample lost,
//       repeated or changed; FEED_STATS (from taperly-bench-feed --stats)
//       tells which gaps the feed itself made
//   taperly-bench-wav soak WINDOWS OUTAGES FILE...
//       matches a soak's takes to its transmissions and outages
//   taperly-bench-wav boundaries WINDOWS LABEL DETAILS FILE...
//       matches takes to the transmissions in WINDOWS and prints one
//       Markdown table row for LABEL; every take's offsets go to DETAILS

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/scenario_plan.h"
#include "bench/soak_reading.h"
#include "bench/take_reading.h"

namespace {

using namespace taperly::bench;

std::string file_text(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int continuity(const std::string& path, const std::string& stats_path) {
    const Recording recording = read_recording(path);
    if (!recording.error.empty()) {
        std::printf("- %s: cannot be read: %s\n", path.c_str(), recording.error.c_str());
        return 1;
    }
    const Continuity c = check_continuity(recording.frames);
    const double rate = recording.rate;
    std::printf("- samples in the file: %lld (%.3f s at %d Hz)\n", static_cast<long long>(c.frames),
                static_cast<double>(c.frames) / rate, recording.rate);
    if (!c.first_number) {
        std::printf("- the file holds no sample of the feed\n");
        return 0;
    }
    const std::int64_t span = *c.last_number - *c.first_number + 1;
    std::int64_t feed_gaps = 0;
    if (!stats_path.empty()) {
        std::istringstream stats(file_text(stats_path));
        std::string word;
        std::int64_t from = 0;
        std::int64_t to = 0;
        while (stats >> word) {
            if (word == "gap" && stats >> from >> to) {
                feed_gaps += std::max<std::int64_t>(
                    0, std::min(to, *c.last_number + 1) - std::max(from, *c.first_number));
            }
        }
    }
    std::printf(
        "- samples the paced feed sent from the take's first sample to its last: %lld "
        "(feed samples %lld to %lld)\n",
        static_cast<long long>(span - feed_gaps), static_cast<long long>(*c.first_number),
        static_cast<long long>(*c.last_number));
    std::printf("- samples the feed itself could not deliver in that stretch (pipe full): %lld\n",
                static_cast<long long>(feed_gaps));
    std::printf("- lost samples: %lld (of which the feed's own: %lld)\n",
                static_cast<long long>(c.lost),
                static_cast<long long>(std::min(c.lost, feed_gaps)));
    std::printf("- duplicated samples: %lld\n", static_cast<long long>(c.duplicated));
    std::printf("- changed samples (not the feed's): %lld\n", static_cast<long long>(c.altered));
    return 0;
}

struct Offsets {
    std::vector<double> starts;
    std::vector<double> ends;
};

double median(std::vector<double> values) {
    if (values.empty()) {
        return NAN;
    }
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The offset furthest from the truth, with its sign.
double worst(const std::vector<double>& values) {
    double found = NAN;
    for (const double v : values) {
        if (std::isnan(found) || std::fabs(v) > std::fabs(found)) {
            found = v;
        }
    }
    return found;
}

int boundaries(const std::string& windows_path, const std::string& label,
               const std::string& details_path, const std::vector<std::string>& files) {
    const std::vector<Transmission> plan = parse_windows(file_text(windows_path));
    std::vector<int> covering(plan.size(), 0);
    std::ofstream details(details_path, std::ios::app);
    details << "\n| " << label << ": take | transmissions in it | start offset (ms) | end "
            << "offset (ms) |\n|---|---|---|---|\n";
    Offsets clean;
    Offsets all;
    int merged = 0;
    int unreadable = 0;
    int without_signal = 0;
    for (const std::string& path : files) {
        const Recording recording = read_recording(path);
        const std::string name = path.substr(path.find_last_of('/') + 1);
        if (!recording.error.empty()) {
            ++unreadable;
            details << "| " << name << " | unreadable: " << recording.error << " | | |\n";
            continue;
        }
        const auto span = take_span(recording.frames);
        if (!span) {
            ++without_signal;
            details << "| " << name << " | none (no signal in it) | | |\n";
            continue;
        }
        const double rate = recording.rate;
        std::vector<std::size_t> inside;
        for (std::size_t at = 0; at < plan.size(); ++at) {
            const auto from = static_cast<std::int64_t>(plan[at].start * rate);
            const auto to = static_cast<std::int64_t>(plan[at].end * rate);
            if (span->start < to && span->end > from) {
                inside.push_back(at);
                ++covering[at];
            }
        }
        if (inside.empty()) {
            ++without_signal;
            details << "| " << name << " | none | | |\n";
            continue;
        }
        const auto first = static_cast<std::int64_t>(plan[inside.front()].start * rate);
        const auto last = static_cast<std::int64_t>(plan[inside.back()].end * rate);
        const double start_ms = 1000.0 * static_cast<double>(span->start - first) / rate;
        const double end_ms = 1000.0 * static_cast<double>(span->end - last) / rate;
        all.starts.push_back(start_ms);
        all.ends.push_back(end_ms);
        if (inside.size() == 1) {
            clean.starts.push_back(start_ms);
            clean.ends.push_back(end_ms);
        } else {
            ++merged;
        }
        std::string numbers;
        for (const std::size_t at : inside) {
            numbers += (numbers.empty() ? "" : ", ") + std::to_string(at + 1);
        }
        char row[256];
        std::snprintf(row, sizeof row, "| %s | %s | %+.1f | %+.1f |\n", name.c_str(),
                      numbers.c_str(), start_ms, end_ms);
        details << row;
    }
    const auto missed = std::count(covering.begin(), covering.end(), 0);
    const auto split = std::count_if(covering.begin(), covering.end(), [](int n) { return n > 1; });
    // A take that starts early holds all of its transmission's start: the
    // latest start is what is missed, the earliest the price paid for that.
    const auto [earliest, latest] =
        all.starts.empty()
            ? std::pair<double, double>{NAN, NAN}
            : std::pair<double, double>{*std::min_element(all.starts.begin(), all.starts.end()),
                                        *std::max_element(all.starts.begin(), all.starts.end())};
    std::vector<double> early;
    for (const double start : all.starts) {
        if (start < 0) {
            early.push_back(-start);
        }
    }
    std::printf(
        "| %s | %zu | %zu | %ld | %d | %ld | %d | %+.0f | %+.0f | %+.0f | %+.0f | %+.0f | %+.0f "
        "| %zu: median %.0f |\n",
        label.c_str(), files.size(), plan.size(), static_cast<long>(missed), merged,
        static_cast<long>(split), unreadable + without_signal, median(all.starts),
        worst(all.starts), median(all.ends), worst(all.ends), latest, earliest, early.size(),
        early.empty() ? 0.0 : median(early));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "continuity") {
        return continuity(args[1], args.size() > 2 ? args[2] : "");
    }
    if (args.size() >= 3 && args[0] == "soak") {
        report_soak(args[1], args[2], {args.begin() + 3, args.end()});
        return 0;
    }
    if (args.size() >= 4 && args[0] == "boundaries") {
        return boundaries(args[1], args[2], args[3], {args.begin() + 4, args.end()});
    }
    std::fprintf(stderr,
                 "usage: %s continuity FILE [FEED_STATS]\n"
                 "       %s boundaries WINDOWS LABEL DETAILS FILE...\n"
                 "       %s soak WINDOWS OUTAGES FILE...\n",
                 argv[0], argv[0], argv[0]);
    return 2;
}
