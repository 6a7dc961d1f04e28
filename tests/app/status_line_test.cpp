#include "app/status_line.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

#include "recorder/takes/takes_room.h"

namespace taperly {
namespace {

using Kind = RecorderTrouble::Kind;
using std::chrono::milliseconds;

struct StatusCase {
    const char* name;
    int poll_ms;
    bool line_lost;
    int since_byte_ms;
    int since_reply_ms;
    bool take_in_progress;
    Kind sound;
    const char* held_report;  // nullptr: none
    int mode;
    std::string text;
    // A part of the tooltip that must be there ("" when the tooltip is the text).
    std::string detail_part;
    // The line being tried was never open in this run.
    bool never_opened = false;
    TakeStorage storage = {};
    bool split = false;
    // The rest of the facts, where a row needs them.
    std::function<void(StatusFacts&)> more = {};
};

void PrintTo(const StatusCase& c, std::ostream* out) {
    *out << c.name;
}

class StatusLineTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusLineTest, TheMostUrgentConditionIsShown) {
    const StatusCase& c = GetParam();
    StatusFacts facts;
    facts.recorder_mode = c.mode;
    if (c.held_report != nullptr) {
        facts.held_report = StatusText{c.held_report, c.held_report};
    }
    facts.line_lost = c.line_lost;
    facts.line_never_opened = c.never_opened;
    facts.line_name = "COM2 (/dev/serial/by-id/usb-scanner)";
    facts.bits_per_second = 57600;
    facts.lost_reason = "The serial line on COM2 was lost: unplugged.";
    facts.last_attempt_error = "no such device";
    facts.since_byte = milliseconds(c.since_byte_ms);
    facts.since_reply = milliseconds(c.since_reply_ms);
    facts.quiet_limit = quiet_limit(c.poll_ms);
    facts.take_in_progress = c.take_in_progress;
    facts.sound = {c.sound, "no input matches \"USB Audio\""};
    facts.storage = c.storage;
    facts.storage.folder = "/home/you/Taperly";
    facts.take_split = c.split;
    facts.longest_take_minutes = 60;
    if (c.more) {
        c.more(facts);
    }

    const StatusText shown = status_line_text(facts);
    EXPECT_EQ(shown.text, c.text);
    EXPECT_NE(shown.detail.find(c.detail_part), std::string::npos) << shown.detail;
}

constexpr int kNotOpen = kModeNotOpen;
constexpr int kRecording = kModeRecording;

TakeStorage with_free(std::int64_t bytes, bool full = false) {
    TakeStorage storage;
    storage.free_bytes = bytes;
    storage.disk_full = full;
    return storage;
}

TakeStorage cut(bool out_of_room) {
    TakeStorage storage = with_free(out_of_room ? 4096 : kAlmostFullBelowBytes, out_of_room);
    storage.write_failure = {"writing failed for .taperly-take-x.wav: because",
                             out_of_room ? "No space left on device" : "Input/output error",
                             out_of_room};
    return storage;
}

// Room came back after a take the full disk cut.
TakeStorage cut_with_room_back() {
    TakeStorage storage = cut(true);
    storage.free_bytes = kAlmostFullBelowBytes;
    storage.disk_full = false;
    return storage;
}

TakeStorage saved_not_flushed() {
    TakeStorage storage = with_free(kAlmostFullBelowBytes);
    storage.not_flushed = {"saved, but the disk reported an error for a.wav: Input/output error",
                           "Input/output error", false};
    return storage;
}

TakeStorage not_saved() {
    TakeStorage storage = with_free(kAlmostFullBelowBytes);
    storage.save_failure = {"could not save /home/you/Taperly/a.wav: Read-only file system",
                            "Read-only file system", false};
    return storage;
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, StatusLineTest,
    ::testing::Values(
        StatusCase{"all_well", 100, false, 0, 0, false, Kind::kNone, nullptr, kNotOpen, "Waiting",
                   ""},
        StatusCase{"all_well_recording", 100, false, 50, 50, true, Kind::kNone, nullptr, kRecording,
                   "Recording", ""},
        StatusCase{"lost_beats_everything", 100, true, 9000, 9000, true, Kind::kNoInput,
                   "cannot write settings", kRecording, "Line lost, trying again",
                   "Last attempt: no such device"},
        StatusCase{"port_not_open_yet", 100, true, 9000, 9000, false, Kind::kNone, nullptr,
                   kNotOpen, "Port not open, trying again",
                   "open COM2 (/dev/serial/by-id/usb-scanner) again every second", true},
        StatusCase{"quiet_just_under_two_seconds", 100, false, 1999, 1999, false, Kind::kNone,
                   nullptr, kNotOpen, "Waiting", ""},
        StatusCase{"silent_for_two_seconds", 100, false, 2000, 2000, false, Kind::kNone, nullptr,
                   kNotOpen, "Scanner does not answer",
                   "COM2 (/dev/serial/by-id/usb-scanner) at 57600 bit/s"},
        StatusCase{"slow_polls_wait_ten_intervals", 500, false, 4999, 4999, false, Kind::kNone,
                   nullptr, kNotOpen, "Waiting", ""},
        StatusCase{"slow_polls_silent", 500, false, 5000, 5000, false, Kind::kNone, nullptr,
                   kNotOpen, "Scanner does not answer", "remote speed is 57600 bit/s"},
        StatusCase{"silence_beats_a_report", 100, false, 3000, 3000, false, Kind::kNone,
                   "cannot write settings", kNotOpen, "Scanner does not answer", ""},
        StatusCase{"bytes_but_no_reply", 100, false, 10, 2000, false, Kind::kNone, nullptr,
                   kNotOpen, "Replies cannot be read", "remote speed is 57600 bit/s"},
        StatusCase{"unreadable_beats_sound", 100, false, 10, 2500, true, Kind::kNoInput, nullptr,
                   kRecording, "Replies cannot be read", ""},
        StatusCase{"no_input_during_take", 100, false, 10, 10, true, Kind::kNoInput, nullptr,
                   kNotOpen, "No sound input: not saved", "no input matches \"USB Audio\""},
        StatusCase{"no_input_between_takes", 100, false, 10, 10, false, Kind::kNoInput, nullptr,
                   kNotOpen, "No sound input: not saved", "a transmission would not be recorded"},
        StatusCase{"take_trouble_left_from_the_last_take", 100, false, 10, 10, false,
                   Kind::kWriteFailed, nullptr, kNotOpen, "Waiting", ""},
        StatusCase{"take_cannot_start", 100, false, 10, 10, true, Kind::kCannotHold, nullptr,
                   kNotOpen, "Cannot record: see tooltip", "cannot be started"},
        StatusCase{"writing_failed", 100, false, 10, 10, true, Kind::kWriteFailed, nullptr,
                   kRecording, "Writing failed: take cut", "rest of it is lost"},
        StatusCase{"sound_beats_a_report", 100, false, 10, 10, true, Kind::kNoInput,
                   "cannot write settings", kNotOpen, "No sound input: not saved", ""},
        StatusCase{"report_held", 100, false, 10, 10, false, Kind::kNone, "cannot write settings",
                   kNotOpen, "cannot write settings", "cannot write settings"},
        StatusCase{"an_hour_of_room_is_enough", 100, false, 10, 10, false, Kind::kNone, nullptr,
                   kNotOpen, "Waiting", "", false, with_free(kAlmostFullBelowBytes)},
        StatusCase{"less_than_an_hour_warns", 100, false, 10, 10, false, Kind::kNone, nullptr,
                   kNotOpen, "Disk almost full: 59 min left", "/home/you/Taperly", false,
                   with_free(kAlmostFullBelowBytes - 1)},
        StatusCase{"almost_full_never_hides_silence", 100, false, 3000, 3000, false, Kind::kNone,
                   nullptr, kNotOpen, "Scanner does not answer", "", false, with_free(1000000)},
        StatusCase{"almost_full_never_hides_a_lost_line", 100, true, 10, 10, false, Kind::kNone,
                   nullptr, kNotOpen, "Line lost, trying again", "", false, with_free(1000000)},
        StatusCase{"full_disk_between_takes", 100, false, 10, 10, false, Kind::kNone, nullptr,
                   kNotOpen, "Disk full: not recording", "/home/you/Taperly is full (4 kB free)",
                   false, with_free(4096, true)},
        StatusCase{"full_disk_refuses_a_take", 100, false, 10, 10, true, Kind::kDiskFull, nullptr,
                   kNotOpen, "Disk full: not recording", "starts again by itself", false,
                   with_free(4096, true)},
        StatusCase{"take_cut_by_a_full_disk", 100, false, 10, 10, true, Kind::kWriteFailed, nullptr,
                   kRecording, "Disk full: take cut", "saved under its name", false, cut(true)},
        StatusCase{"take_cut_told_until_a_take_is_saved_whole", 100, false, 10, 10, false,
                   Kind::kNone, nullptr, kNotOpen, "Last take cut: writing failed",
                   "what was written of it is saved", false, cut(false)},
        StatusCase{"room_back_after_the_cut_take", 100, false, 10, 10, false, Kind::kNone, nullptr,
                   kNotOpen, "Last take cut: disk was full", "/home/you/Taperly filled up", false,
                   cut_with_room_back()},
        StatusCase{"next_take_recording_after_the_cut_one", 100, false, 10, 10, true, Kind::kNone,
                   nullptr, kRecording, "Last take cut: disk was full", "", false,
                   cut_with_room_back()},
        StatusCase{"saved_but_not_flushed", 100, false, 10, 10, false, Kind::kNone, nullptr,
                   kNotOpen, "Saved, disk error: Input/output error", "Check the disk", false,
                   saved_not_flushed()},
        StatusCase{"name_taken_beats_not_flushed", 100, false, 10, 10, false, Kind::kNone, nullptr,
                   kNotOpen, "Take not saved: name taken", "already exists", false,
                   saved_not_flushed(), false, [](StatusFacts& f) { f.name_not_saved = "a.wav"; }},
        StatusCase{"full_disk_after_the_cut_take", 100, false, 10, 10, false, Kind::kNone, nullptr,
                   kNotOpen, "Disk full: not recording", "The last take was cut short", false,
                   cut(true)},
        StatusCase{"save_failed_until_a_take_is_saved", 100, false, 10, 10, false, Kind::kNone,
                   nullptr, kNotOpen, "Take not saved: Read-only file system",
                   "saves it as an unfinished take", false, not_saved()},
        StatusCase{"long_call_split",
                   100,
                   false,
                   10,
                   10,
                   true,
                   Kind::kNone,
                   nullptr,
                   kRecording,
                   "Recording: long call split",
                   "takes of 60 min",
                   false,
                   {},
                   true},
        StatusCase{"no_input_after_part_of_the_take",
                   100,
                   false,
                   10,
                   10,
                   true,
                   Kind::kNoInput,
                   nullptr,
                   kNotOpen,
                   "No sound input: take cut",
                   "what was recorded before is saved",
                   false,
                   {},
                   false,
                   [](StatusFacts& f) { f.sound.part_kept = true; }},
        StatusCase{"scanner_in_a_menu",
                   100,
                   false,
                   10,
                   2500,
                   false,
                   Kind::kNone,
                   nullptr,
                   kNotOpen,
                   "Scanner sends ERR: in a menu?",
                   "Leave the menu",
                   false,
                   {},
                   false,
                   [](StatusFacts& f) { f.other_reply = "ERR"; }},
        StatusCase{"recovered_beside_the_run",
                   100,
                   false,
                   10,
                   10,
                   false,
                   Kind::kNone,
                   nullptr,
                   kNotOpen,
                   "1 unfinished take saved",
                   "Now: Waiting",
                   false,
                   {},
                   false,
                   [](StatusFacts& f) {
                       f.recovered = StatusText{"1 unfinished take saved", "A take."};
                   }},
        StatusCase{
            "keeping_off_between_takes",
            100,
            false,
            10,
            10,
            false,
            Kind::kNone,
            nullptr,
            kNotOpen,
            "Waiting: keeping is off",
            "not removed as TAPERLY_KEEP_DAYS asks: takes.csv cannot be read (Permission denied)",
            false,
            {},
            false,
            [](StatusFacts& f) {
                f.keeping_off = "takes.csv cannot be read (Permission denied)";
                f.uploads = StatusText{"Upload to OpenMHz refused: x", "OpenMHz: x."};
            }},
        StatusCase{"uploads_failing_beneath_the_rest_between_takes",
                   100,
                   false,
                   10,
                   10,
                   false,
                   Kind::kNone,
                   nullptr,
                   kNotOpen,
                   "Upload to Rdio Scanner failing: connection refused, 12 waiting",
                   "Rdio Scanner: failing for 3 min (connection refused), 12 waiting. Now: "
                   "Waiting.",
                   false,
                   {},
                   false,
                   [](StatusFacts& f) {
                       f.uploads = StatusText{
                           "Upload to Rdio Scanner failing: connection refused, 12 waiting",
                           "Rdio Scanner: failing for 3 min (connection refused), 12 waiting."};
                   }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace taperly
