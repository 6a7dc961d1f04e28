#include "app/status_line.h"

#include <algorithm>

#include "recorder/recorder_orders.h"

namespace taperly {

namespace {

constexpr SteadyTime kShortestQuiet{2000};
constexpr int kQuietPolls = 10;

std::string speed_text(int bits_per_second) {
    return std::to_string(bits_per_second) + " bit/s";
}

StatusText line_lost_text(const StatusFacts& facts) {
    StatusText text =
        facts.line_never_opened
            ? StatusText{"Port not open, trying again",
                         facts.lost_reason +
                             " The run was started by itself, so Taperly tries to open " +
                             facts.line_name +
                             " again every second and starts recording once it opens."}
            : StatusText{"Line lost, trying again",
                         facts.lost_reason + " Taperly tries to open " + facts.line_name +
                             " again every second and goes on recording once it is back."};
    if (!facts.last_attempt_error.empty()) {
        text.detail += " Last attempt: " + facts.last_attempt_error;
    }
    return text;
}

StatusText no_answer_text(const StatusFacts& facts) {
    return {"Scanner does not answer",
            "The scanner does not answer on " + facts.line_name + " at " +
                speed_text(facts.bits_per_second) +
                ". Check that it is switched on, that its cable is plugged in, and that its "
                "remote speed is " +
                speed_text(facts.bits_per_second) + "."};
}

StatusText unreadable_text(const StatusFacts& facts) {
    return {"Replies cannot be read", "Bytes arrive on " + facts.line_name +
                                          " but no reply of the scanner can be read. "
                                          "Check that the scanner's remote speed is " +
                                          speed_text(facts.bits_per_second) +
                                          ", the speed chosen here."};
}

StatusText sound_trouble_text(const RecorderTrouble& trouble, bool take_in_progress) {
    const std::string why = trouble.detail.empty() ? "" : " (" + trouble.detail + ")";
    switch (trouble.kind) {
        case RecorderTrouble::Kind::kNoInput:
            return {"No sound input: not saved",
                    std::string("There is no sound input, so ") +
                        (take_in_progress ? "this transmission is not being recorded"
                                          : "a transmission would not be recorded") +
                        why + "."};
        case RecorderTrouble::Kind::kCannotHold:
            return {
                "Cannot record: see tooltip",
                "This transmission is not being recorded: the take cannot be started" + why + "."};
        case RecorderTrouble::Kind::kWriteFailed:
        case RecorderTrouble::Kind::kNone:
            break;
    }
    return {"Writing failed: take cut",
            "Writing this take failed, so the rest of it is lost" + why + "."};
}

}  // namespace

int usable_poll_interval(int milliseconds) {
    return std::clamp(milliseconds, kFastestPollMs, kSlowestPollMs);
}

StatusText poll_interval_note(int from_file, int used) {
    return {"Poll interval: " + std::to_string(used) + " ms used",
            "The poll interval " + std::to_string(from_file) +
                " ms in com_settings.txt is outside " + std::to_string(kFastestPollMs) + " to " +
                std::to_string(kSlowestPollMs) + " ms, so the scanner is polled every " +
                std::to_string(used) + " ms. The file keeps " + std::to_string(from_file) + "."};
}

StatusText recovered_takes_note(const std::vector<std::string>& names) {
    const bool one = names.size() == 1;
    std::string list;
    for (const std::string& name : names) {
        list += (list.empty() ? "" : ", ") + name;
    }
    return {
        std::to_string(names.size()) + (one ? " unfinished take saved" : " unfinished takes saved"),
        std::string(one ? "A take" : "Takes") +
            " cut short when Taperly last ended without a Stop (a crash, a power cut or a "
            "kill) " +
            (one ? "is" : "are") + " recovered and saved as " + list + "."};
}

SteadyTime quiet_limit(int poll_interval_ms) {
    return std::max(kShortestQuiet,
                    SteadyTime(kQuietPolls * static_cast<long long>(poll_interval_ms)));
}

StatusText status_line_text(const StatusFacts& facts) {
    if (facts.line_lost) {
        return line_lost_text(facts);
    }
    if (facts.since_byte >= facts.quiet_limit) {
        return no_answer_text(facts);
    }
    if (facts.since_reply >= facts.quiet_limit) {
        return unreadable_text(facts);
    }
    // Capture runs between takes too, so a missing input is told before the call.
    if ((facts.take_in_progress && facts.sound.kind != RecorderTrouble::Kind::kNone) ||
        facts.sound.kind == RecorderTrouble::Kind::kNoInput) {
        return sound_trouble_text(facts.sound, facts.take_in_progress);
    }
    if (!facts.take_in_progress && !facts.name_not_saved.empty()) {
        return {"Take not saved: name taken",
                "A file named " + facts.name_not_saved +
                    " already exists, so this take was not saved; that file is left as it is."};
    }
    if (facts.held_report) {
        return *facts.held_report;
    }
    return {recorder_mode_text(facts.recorder_mode), {}};
}

}  // namespace taperly
