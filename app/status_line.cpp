#include "app/status_line.h"

#include <algorithm>

#include "recorder/recorder_orders.h"
#include "recorder/takes/takes_room.h"
#include "tracking/reply_timing.h"

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

std::string free_space_text(const TakeStorage& storage) {
    return storage.free_bytes ? bytes_text(*storage.free_bytes) + " free" : "free space unknown";
}

StatusText disk_full_text(const TakeStorage& storage) {
    std::string detail = "The disk of " + storage.folder + " is full (" + free_space_text(storage) +
                         "), so no transmission is recorded. Recording starts again by itself "
                         "once there is room: remove or move takes.";
    if (!storage.write_failure.empty()) {
        detail += " The last take was cut short and saved as far as it was written.";
    }
    return {"Disk full: not recording", detail};
}

StatusText take_cut_text(const TakeStorage& storage) {
    const std::string why = " (" + storage.write_failure.told + ")";
    if (storage.write_failure.out_of_room) {
        return {"Disk full: take cut", "The disk of " + storage.folder + " filled up (" +
                                           free_space_text(storage) +
                                           "), so a take was cut short; what was written of it "
                                           "is saved under its name" +
                                           why + "."};
    }
    return {"Writing failed: take cut",
            "Writing a take failed, so the rest of it is lost; what was written of it is saved "
            "under its name" +
                why + "."};
}

// Once the cut take has ended, until a take is saved whole: with room back,
// the disk is no longer said to be full.
StatusText last_take_cut_text(const TakeStorage& storage) {
    const TakeFailure& cut = storage.write_failure;
    return {cut.out_of_room ? "Last take cut: disk was full" : "Last take cut: writing failed",
            std::string(cut.out_of_room ? "The disk of " + storage.folder + " filled up"
                                        : "Writing failed") +
                " during a take, so it was cut short; what was written of it is saved under its "
                "name (" +
                cut.told + "). Told until a take is saved whole."};
}

StatusText not_flushed_text(const TakeStorage& storage) {
    return {"Saved, disk error: " + storage.not_flushed.reason,
            "The last take is saved, but the disk reported an error while its name was being "
            "made safe from a power cut (" +
                storage.not_flushed.told + "). Check the disk of " + storage.folder + "."};
}

StatusText not_saved_text(const TakeStorage& storage) {
    return {"Take not saved: " + storage.save_failure.reason,
            "A take could not be saved in " + storage.folder + " (" + storage.save_failure.told +
                "). It stays there as a hidden file, and Taperly saves it as an unfinished take "
                "when it next starts."};
}

StatusText split_text(int longest_take_minutes) {
    const std::string minutes = std::to_string(longest_take_minutes) + " min";
    return {"Recording: long call split",
            "This call has lasted longer than " + minutes + ", so it is saved in takes of " +
                minutes + " each, one after another, with nothing lost between them."};
}

StatusText almost_full_text(const TakeStorage& storage) {
    const std::string minutes = std::to_string(minutes_left(*storage.free_bytes));
    return {"Disk almost full: " + minutes + " min left",
            "The disk of " + storage.folder + " has " + free_space_text(storage) +
                ", room for about " + minutes +
                " min of recording. Remove or move takes before it is full."};
}

StatusText other_reply_text(const StatusFacts& facts) {
    return {"Scanner sends " + facts.other_reply + ": in a menu?",
            "The scanner answers \"" + facts.other_reply + "\" on " + facts.line_name +
                " instead of telling what it receives, as it does while a menu or its "
                "programming mode is open. Leave the menu on the scanner; Taperly goes on asking."};
}

StatusText sound_trouble_text(const RecorderTrouble& trouble, const TakeStorage& storage,
                              bool take_in_progress) {
    const std::string why = trouble.detail.empty() ? "" : " (" + trouble.detail + ")";
    switch (trouble.kind) {
        case RecorderTrouble::Kind::kNoInput:
            if (take_in_progress && trouble.part_kept) {
                return {"No sound input: take cut",
                        "The sound input went away during this transmission" + why +
                            ": what was recorded before is saved under its name when the "
                            "transmission ends, the rest is not recorded."};
            }
            return {"No sound input: not saved",
                    std::string("There is no sound input, so ") +
                        (take_in_progress ? "this transmission is not being recorded"
                                          : "a transmission would not be recorded") +
                        why + "."};
        case RecorderTrouble::Kind::kCannotHold:
            return {
                "Cannot record: see tooltip",
                "This transmission is not being recorded: the take cannot be started" + why + "."};
        case RecorderTrouble::Kind::kDiskFull:
            return disk_full_text(storage);
        case RecorderTrouble::Kind::kWriteFailed:
        case RecorderTrouble::Kind::kNone:
            break;
    }
    return take_cut_text(storage);
}

}  // namespace

int fastest_poll_interval(int bits_per_second) {
    return std::max(kFastestPollMs, fastest_poll_for_line(bits_per_second));
}

int usable_poll_interval(int milliseconds, int bits_per_second) {
    return std::clamp(milliseconds, fastest_poll_interval(bits_per_second), kSlowestPollMs);
}

StatusText poll_interval_note(int from_file, int used, int bits_per_second) {
    const std::string fastest = std::to_string(fastest_poll_interval(bits_per_second));
    const std::string range = bits_per_second > 0
                                  ? fastest + " to " + std::to_string(kSlowestPollMs) + " ms at " +
                                        speed_text(bits_per_second)
                                  : fastest + " to " + std::to_string(kSlowestPollMs) + " ms";
    return {"Poll interval: " + std::to_string(used) + " ms used",
            "The poll interval " + std::to_string(from_file) +
                " ms in com_settings.txt is outside " + range +
                " (the scanner's replies must fit on the line), so the scanner is polled every " +
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
        return facts.other_reply.empty() ? unreadable_text(facts) : other_reply_text(facts);
    }
    // Capture runs between takes too, so a missing input is told before the call.
    if ((facts.take_in_progress && facts.sound.kind != RecorderTrouble::Kind::kNone) ||
        facts.sound.kind == RecorderTrouble::Kind::kNoInput) {
        return sound_trouble_text(facts.sound, facts.storage, facts.take_in_progress);
    }
    if (facts.storage.disk_full) {
        return disk_full_text(facts.storage);
    }
    if (!facts.storage.write_failure.empty()) {
        return last_take_cut_text(facts.storage);
    }
    if (!facts.storage.save_failure.empty()) {
        return not_saved_text(facts.storage);
    }
    if (!facts.take_in_progress && !facts.name_not_saved.empty()) {
        return {"Take not saved: name taken",
                "A file named " + facts.name_not_saved +
                    " already exists, so this take was not saved; that file is left as it is."};
    }
    if (!facts.storage.not_flushed.empty()) {
        return not_flushed_text(facts.storage);
    }
    if (facts.held_report) {
        return *facts.held_report;
    }
    if (facts.take_in_progress && facts.take_split && facts.recorder_mode == kModeRecording) {
        return split_text(facts.longest_take_minutes);
    }
    if (facts.storage.free_bytes &&
        room_for_takes(*facts.storage.free_bytes) == Room::kAlmostFull) {
        return almost_full_text(facts.storage);
    }
    const std::string mode = recorder_mode_text(facts.recorder_mode);
    if (facts.recovered) {
        return {facts.recovered->text, facts.recovered->detail + " Now: " + mode + "."};
    }
    if (!facts.keeping_off.empty() && facts.recorder_mode == kModeNotOpen) {
        return {mode + ": keeping is off",
                "Old takes are not removed as TAPERLY_KEEP_DAYS asks: " + facts.keeping_off +
                    ". What cannot be removed stays until that is mended, so the disk may "
                    "fill. Now: " +
                    mode + "."};
    }
    if (facts.uploads && facts.recorder_mode == kModeNotOpen) {
        return {facts.uploads->text, facts.uploads->detail + " Now: " + mode + "."};
    }
    return {mode, {}};
}

}  // namespace taperly
