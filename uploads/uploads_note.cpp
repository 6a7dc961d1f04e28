#include "uploads/uploads_note.h"

#include <algorithm>

namespace taperly {

namespace {

using Health = TargetView::Health;

// Failures are told once they have lasted this long: a service that
// answers after a try or two needs no words.
constexpr UploadSteady kFailingTold{60000};

std::string waiting_text(int waiting) {
    return waiting == 0 ? "none waiting" : std::to_string(waiting) + " waiting";
}

std::string duration_text(UploadSteady length) {
    const long long minutes = length.count() / 60000;
    return minutes < 1     ? "under a minute"
           : minutes < 120 ? std::to_string(minutes) + " min"
                           : std::to_string(minutes / 60) + " h";
}

bool failing_long(const TargetView& target, UploadSteady now) {
    return target.health == Health::kFailing && target.failing_since &&
           now - *target.failing_since >= kFailingTold;
}

std::string state_of(const TargetView& target, UploadSteady now) {
    std::string state = target.label + ": ";
    switch (target.health) {
        case Health::kWell:
            state += std::to_string(target.delivered) + " delivered";
            break;
        case Health::kFailing:
            state += "failing for " + duration_text(now - target.failing_since.value_or(now)) +
                     " (" + target.reason + ")";
            break;
        case Health::kRefused:
            state += "a take was refused (" + target.reason + ")";
            break;
        case Health::kStopped:
            state += "stopped until uploads.ini changes (" + target.reason + ")";
            break;
    }
    return state + ", " + waiting_text(target.waiting) + ".";
}

}  // namespace

std::optional<UploadsNote> uploads_note(const UploadsFacts& facts) {
    std::string detail;
    for (const SettingsProblem& problem : facts.problems) {
        detail += "uploads.ini line " + std::to_string(problem.line) + ": " + problem.text + ". ";
    }
    for (const TargetView& target : facts.targets) {
        detail += state_of(target, facts.now) + " ";
    }
    if (!facts.rows_failure.empty()) {
        detail += facts.rows_failure + ". ";
    }
    if (!detail.empty()) {
        detail.pop_back();
    }
    if (!facts.file_refused.empty()) {
        return UploadsNote{"Uploads off: others can read uploads.ini",
                           "Nothing is uploaded: " + facts.file_refused + "."};
    }
    if (!facts.problems.empty()) {
        const SettingsProblem& first = facts.problems.front();
        return UploadsNote{"uploads.ini line " + std::to_string(first.line) + ": " + first.text,
                           detail};
    }
    const auto first_with = [&facts](auto&& holds) {
        return std::find_if(facts.targets.begin(), facts.targets.end(), holds);
    };
    if (const auto stopped =
            first_with([](const TargetView& t) { return t.health == Health::kStopped; });
        stopped != facts.targets.end()) {
        return UploadsNote{"Upload to " + stopped->label + " stopped: " + stopped->reason, detail};
    }
    if (const auto failing =
            first_with([&facts](const TargetView& t) { return failing_long(t, facts.now); });
        failing != facts.targets.end()) {
        return UploadsNote{"Upload to " + failing->label + " failing: " + failing->reason + ", " +
                               waiting_text(failing->waiting),
                           detail};
    }
    if (const auto refused =
            first_with([](const TargetView& t) { return t.health == Health::kRefused; });
        refused != facts.targets.end()) {
        return UploadsNote{"Upload to " + refused->label + " refused: " + refused->reason, detail};
    }
    if (!facts.rows_failure.empty()) {
        return UploadsNote{facts.rows_failure, detail};
    }
    return std::nullopt;
}

}  // namespace taperly
