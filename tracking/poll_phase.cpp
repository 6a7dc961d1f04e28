#include "tracking/poll_phase.h"

#include <charconv>

namespace taperly {

std::optional<double> poll_phase_value(std::string_view phase) {
    const auto first = phase.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    phase = phase.substr(first, phase.find_last_not_of(' ') - first + 1);
    bool negative = false;
    if (phase.front() == '+' || phase.front() == '-') {
        negative = phase.front() == '-';
        phase.remove_prefix(1);
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(phase.data(), phase.data() + phase.size(), value);
    if (error != std::errc() || end != phase.data() + phase.size()) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

}  // namespace taperly
