#pragma once

#include <string>
#include <vector>

namespace taperly::bench {

// Matches a soak's takes to its transmissions and prints, as Markdown list
// items: transmissions and takes, every transmission without a take and the
// outage that explains it (or that none does), takes holding several
// transmissions, and takes that miss a part of their transmission or reach
// far beyond it. Returns the number of findings no outage explains.
int report_soak(const std::string& windows_path, const std::string& outages_path,
                const std::vector<std::string>& files);

}  // namespace taperly::bench
