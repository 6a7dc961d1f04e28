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

constexpr double kLengthTolerance = 0.3;
// A take starts at the next status reply after the line or the sound is
// back: a call ending this soon after an outage may be gone with it.
constexpr double kAfterOutage = 0.5;

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
        const double length = static_cast<double>(recording.frames.size()) / rate;
        const double difference = length - (t.end - t.start);
        if (std::fabs(difference) > kLengthTolerance) {
            ++off;
            const Outage* why = outage_over(outages, t.start, t.end);
            char line[512];
            std::snprintf(line, sizeof line, "  - `%s`: %.2f s for a transmission of %.2f s (%s)\n",
                          name.c_str(), length, t.end - t.start,
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
    std::printf("- takes whose length is off by more than %.1f s: %d, of which in an outage: %d\n",
                kLengthTolerance, off, off_explained);
    std::printf("%s", off_lines.c_str());
    std::printf("- findings no outage explains: %d\n", unexplained);
    return unexplained;
}

}  // namespace taperly::bench
