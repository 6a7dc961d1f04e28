#pragma once

#include <optional>
#include <string>
#include <vector>

#include "recorder/recorder_control.h"
#include "tracking/clock.h"

namespace taperly {

// A short text that fits the status line, and the whole of it for its tooltip.
struct StatusText {
    std::string text;
    std::string detail;
    bool operator==(const StatusText&) const = default;
};

// What the status line is made from while a run is on.
struct StatusFacts {
    int recorder_mode = kModeNotOpen;
    // An error told during the run, shown until the recorder's mode changes.
    std::optional<StatusText> held_report;

    bool line_lost = false;
    // The line being tried has not been open yet in this run: it was started
    // by itself and the port could not be opened then.
    bool line_never_opened = false;
    // "COM1 (/dev/ttyUSB0)", and the speed chosen for it.
    std::string line_name;
    int bits_per_second = 0;
    // Why the line was lost, and why the last attempt to open it failed.
    std::string lost_reason;
    std::string last_attempt_error;

    // How long the line has brought no byte, and no reply that could be read,
    // and how long a healthy scanner is never quiet.
    SteadyTime since_byte{0};
    SteadyTime since_reply{0};
    SteadyTime quiet_limit{0};
    // What the scanner answers instead of a status or identity reply ("ERR").
    std::string other_reply;

    bool take_in_progress = false;
    // The call has lasted longer than a take may, and goes on in parts of
    // `longest_take_minutes` each.
    bool take_split = false;
    int longest_take_minutes = 0;
    RecorderTrouble sound;
    TakeStorage storage;
    // The last take, not saved because a file of its name exists, until the
    // next take begins.
    std::string name_not_saved;
    // Takes a crash left, saved at start-up: told until Run is pressed or a
    // take is saved, also while a run started by itself goes on.
    std::optional<StatusText> recovered;
    // Why old takes are not removed though TAPERLY_KEEP_DAYS asks for it;
    // empty while keeping works or is not asked for.
    std::string keeping_off;
    // What goes wrong with uploading takes (a target failing for a minute,
    // one stopped, a take refused, a mistake in uploads.ini).
    std::optional<StatusText> uploads;
};

// How long the line may bring nothing before the scanner counts as silent:
// the longer of 2 s and ten poll intervals.
SteadyTime quiet_limit(int poll_interval_ms);

// The poll intervals a scanner is polled at: faster overflows its buffer or,
// at a slow speed, more than the line carries (fastest_poll_for_line);
// slower misses calls. `bits_per_second` 0: the speed is not chosen yet.
inline constexpr int kFastestPollMs = 50;
inline constexpr int kSlowestPollMs = 1000;
int fastest_poll_interval(int bits_per_second);
int usable_poll_interval(int milliseconds, int bits_per_second);
// What the status line says until Run when the file's interval was not usable.
StatusText poll_interval_note(int from_file, int used, int bits_per_second);

// What the status line says until Run when start-up gave visible names to
// the takes a kill, a crash or a power cut had left hidden.
StatusText recovered_takes_note(const std::vector<std::string>& names);

// The one rule for the status line during a run. A lost line comes first,
// then a scanner that does not answer, then replies that cannot be read,
// then a take that is not being recorded or a sound input that is missing,
// then a disk too full to record on, then a take cut short, then a take that
// was not saved, whether it could not be or its name was taken, then a take
// saved despite an error of the disk, then a report; then a call being
// split, then a disk that is almost full; otherwise the recorder's mode, and
// between takes keeping that does not work, then uploads that go wrong
// (last: their takes wait safely in their queues). The free space's
// thresholds are room_for_takes'. What became of takes saved after they ended comes through
// the storage like any other.
StatusText status_line_text(const StatusFacts& facts);

}  // namespace taperly
