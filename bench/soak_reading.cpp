#include "bench/soak_reading.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "bench/soak_plan.h"
#include "bench/take_reading.h"

namespace taperly::bench {

namespace {

// A take is placed by the feed's sample numbers, so these compare what it
// holds with what was played, whatever the audio path's latency.
// It must begin no later than the transmission and end no earlier, give or
// take a few milliseconds of a tone's edge.
constexpr double kWholeTolerance = 0.02;
// Pre-roll reaches back at most two poll intervals and two replies' line
// time (100 ms and about 17 ms at 57600 bit/s), plus the latency margin.
constexpr double kEarliestStart = 0.35;
// A take ends at the first status reply after the call ends: a poll
// interval, a reply and the server's latency, with room for a busy machine.
constexpr double kLatestEnd = 0.5;
// A take starts at the next status reply after the line or the sound is
// back: a call ending this soon after an outage may be gone with it.
constexpr double kAfterOutage = 0.5;
// How far a take's length may stray from its transmission's before it is
// counted; the pre-roll and the closing reply make many longer by more.
constexpr double kLengthTolerance = 0.3;

std::string file_text(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

const Outage* outage_over(const std::vector<Outage>& outages, double start, double end) {
    for (const Outage& o : outages) {
        if (start < o.end + kAfterOutage && end > o.start) {
            return &o;
        }
    }
    return nullptr;
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double largest(const std::vector<double>& values) {
    return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
}

double smallest(const std::vector<double>& values) {
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

// What is wrong with a take's reach over its transmission, or nothing.
std::string reach_fault(double lead, double lag) {
    char text[128];
    if (lead < -kWholeTolerance) {
        std::snprintf(text, sizeof text, "misses the first %.0f ms", -lead * 1000);
    } else if (lag < -kWholeTolerance) {
        std::snprintf(text, sizeof text, "misses the last %.0f ms", -lag * 1000);
    } else if (lead > kEarliestStart) {
        std::snprintf(text, sizeof text, "begins %.0f ms before it", lead * 1000);
    } else if (lag > kLatestEnd) {
        std::snprintf(text, sizeof text, "ends %.0f ms after it", lag * 1000);
    } else {
        return {};
    }
    return text;
}

}  // namespace

int report_soak(const std::string& windows_path, const std::string& outages_path,
                const std::vector<std::string>& files) {
    const std::vector<Transmission> plan = parse_windows(file_text(windows_path));
    const std::vector<Outage> outages = parse_outages(file_text(outages_path));
    std::vector<int> covering(plan.size(), 0);
    int unexplained = 0;
    int merged = 0;
    int without_sound = 0;
    int off = 0;
    int off_explained = 0;
    std::string off_lines;
    std::vector<double> leads;
    std::vector<double> lags;
    int shorter = 0;
    int shorter_in_outage = 0;
    int longer = 0;
    for (const std::string& path : files) {
        const std::string name = path.substr(path.find_last_of('/') + 1);
        const Recording recording = read_recording(path);
        const auto span = recording.error.empty() ? take_span(recording.frames) : std::nullopt;
        if (!span) {
            ++without_sound;
            ++unexplained;
            off_lines += "  - `" + name + "`: holds no sound of any transmission\n";
            continue;
        }
        const double rate = recording.rate;
        std::vector<std::size_t> inside;
        for (std::size_t at = 0; at < plan.size(); ++at) {
            if (span->start < static_cast<std::int64_t>(plan[at].end * rate) &&
                span->end > static_cast<std::int64_t>(plan[at].start * rate)) {
                inside.push_back(at);
                ++covering[at];
            }
        }
        if (inside.size() > 1) {
            ++merged;
            ++unexplained;
            off_lines +=
                "  - `" + name + "`: holds " + std::to_string(inside.size()) + " transmissions\n";
            continue;
        }
        if (inside.empty()) {
            continue;
        }
        const Transmission& t = plan[inside.front()];
        // How much sooner the take begins, and later it ends, than the call.
        const double lead = t.start - static_cast<double>(span->start) / rate;
        const double lag = static_cast<double>(span->end) / rate - t.end;
        leads.push_back(lead);
        lags.push_back(lag);
        if (lead + lag < -kLengthTolerance) {
            ++shorter;
            shorter_in_outage += outage_over(outages, t.start, t.end) != nullptr;
        } else if (lead + lag > kLengthTolerance) {
            ++longer;
        }
        const std::string fault = reach_fault(lead, lag);
        if (!fault.empty()) {
            ++off;
            const Outage* why = outage_over(outages, t.start, t.end);
            char line[512];
            std::snprintf(line, sizeof line,
                          "  - `%s`: %s, a transmission of %.2f s at %.2f s (%s)\n", name.c_str(),
                          fault.c_str(), t.end - t.start, t.start,
                          why ? ("in an outage: " + why->what).c_str() : "NOT EXPLAINED");
            off_lines += line;
            if (why) {
                ++off_explained;
            } else {
                ++unexplained;
            }
        }
    }
    int missing = 0;
    int missing_explained = 0;
    std::string missing_lines;
    for (std::size_t at = 0; at < plan.size(); ++at) {
        if (covering[at] != 0) {
            continue;
        }
        ++missing;
        const Outage* why = outage_over(outages, plan[at].start, plan[at].end);
        char line[256];
        std::snprintf(line, sizeof line, "  - transmission %zu (%.2f s to %.2f s): %s\n", at + 1,
                      plan[at].start, plan[at].end,
                      why ? ("in an outage: " + why->what).c_str() : "NOT EXPLAINED");
        missing_lines += line;
        if (why) {
            ++missing_explained;
        } else {
            ++unexplained;
        }
    }
    std::printf("- transmissions played: %zu; takes saved: %zu\n", plan.size(), files.size());
    std::printf("- transmissions without a take: %d, of which explained by an outage: %d\n",
                missing, missing_explained);
    std::printf("%s", missing_lines.c_str());
    std::printf("- takes holding several transmissions: %d; takes holding none: %d\n", merged,
                without_sound);
    std::printf(
        "- a take begins before its transmission by %.0f ms at the median (%.0f to %.0f ms) and "
        "ends after it by %.0f ms (%.0f to %.0f ms)\n",
        median(leads) * 1000, smallest(leads) * 1000, largest(leads) * 1000, median(lags) * 1000,
        smallest(lags) * 1000, largest(lags) * 1000);
    std::printf(
        "- takes whose length is off by more than %.1f s: %d shorter (of which in an outage: "
        "%d), %d longer (the sound before the call and after it, limited as below)\n",
        kLengthTolerance, shorter, shorter_in_outage, longer);
    std::printf(
        "- takes that miss a part of their transmission, begin more than %.0f ms before it or "
        "end more than %.0f ms after it: %d, of which in an outage: %d\n",
        kEarliestStart * 1000, kLatestEnd * 1000, off, off_explained);
    std::printf("%s", off_lines.c_str());
    std::printf("- findings no outage explains: %d\n", unexplained);
    return unexplained;
}

}  // namespace taperly::bench
