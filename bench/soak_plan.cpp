#include "bench/soak_plan.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <set>
#include <sstream>

namespace taperly::bench {

namespace {

std::string seconds_text(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", seconds);
    return text;
}

}  // namespace

std::vector<Transmission> plan_soak(double seconds, std::uint64_t seed, double lead_in) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> length(0.3, 5.0);
    std::uniform_real_distribution<double> gap(1.5, 2.5);
    std::vector<Transmission> plan;
    for (double at = lead_in;;) {
        const double end = at + length(random);
        if (end > seconds) {
            break;
        }
        plan.push_back({at, end});
        at = end + gap(random);
    }
    return plan;
}

std::string soak_scenario_text(const std::vector<Transmission>& plan,
                               const std::vector<Outage>& unplugs, double end) {
    std::set<double> breaks{0.0, end};
    for (const Transmission& t : plan) {
        breaks.insert(t.start);
        breaks.insert(t.end);
    }
    for (const Outage& u : unplugs) {
        breaks.insert(u.start);
        breaks.insert(u.end);
    }
    std::ostringstream text;
    text << "# Written by taperly-bench-soak.\n";
    std::size_t call = 0;
    for (auto at = breaks.begin(); std::next(at) != breaks.end() && *at < end; ++at) {
        const double from = *at;
        const double to = *std::next(at);
        if (to - from < 1e-6) {
            continue;
        }
        const auto unplug = std::find_if(unplugs.begin(), unplugs.end(), [&](const Outage& u) {
            return from >= u.start && from < u.end;
        });
        if (unplug != unplugs.end()) {
            // The moment before holds while the line is out.
            if (from == unplug->start) {
                text << "unplug " << seconds_text(unplug->end - unplug->start) << "\n";
            }
            continue;
        }
        while (call < plan.size() && plan[call].end <= from) {
            ++call;
        }
        if (call < plan.size() && plan[call].start <= from) {
            const std::string talkgroup = "TG " + std::to_string(1001 + call);
            text << seconds_text(to - from) << " | Soak | " << talkgroup << " | yes | Soak | Area "
                 << call % 40 << " | " << talkgroup << "\n";
        } else {
            text << seconds_text(to - from) << " | Soak | SCAN | no\n";
        }
    }
    return text.str();
}

std::string outages_text(const std::vector<Outage>& outages) {
    std::ostringstream text;
    for (const Outage& o : outages) {
        text << seconds_text(o.start) << " " << seconds_text(o.end) << " " << o.what << "\n";
    }
    return text.str();
}

std::vector<Outage> parse_outages(const std::string& text) {
    std::vector<Outage> outages;
    std::istringstream in(text);
    Outage o;
    while (in >> o.start >> o.end >> o.what) {
        outages.push_back(o);
    }
    return outages;
}

}  // namespace taperly::bench
