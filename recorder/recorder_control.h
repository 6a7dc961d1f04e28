#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "recorder/takes/late_save.h"
#include "recorder/takes/take_failure.h"
#include "recorder/takes/take_tags.h"

namespace taperly {

// Recorder modes as the status line reads them.
inline constexpr int kModeNotOpen = 524;
inline constexpr int kModeStopped = 525;
inline constexpr int kModeRecording = 527;
inline constexpr int kModeOpen = 530;

// Why the recorder is not recording what it was told to, in words for the
// user. The orders still report nothing; whoever shows the status asks.
struct RecorderTrouble {
    enum class Kind {
        kNone,
        kNoInput,      // there is no sound input to capture from
        kCannotHold,   // a take cannot be started in the takes folder
        kWriteFailed,  // writing the take failed: the rest of it is lost
        kDiskFull,     // no take is begun: the takes folder has no room
    };
    Kind kind = Kind::kNone;
    std::string detail;
    // The take in progress holds sound from before the trouble began, which
    // is saved when it ends.
    bool part_kept = false;

    bool operator==(const RecorderTrouble&) const = default;
};

// How storing takes goes: facts that outlast the take they came from.
struct TakeStorage {
    std::string folder;
    // Free space at the last look; none when it cannot be told.
    std::optional<std::int64_t> free_bytes;
    // No take file is made until there is room again.
    bool disk_full = false;
    // Why the last take written was cut short, until a later take writes.
    TakeFailure write_failure;
    // Why the last take could not be saved, until a take is saved.
    TakeFailure save_failure;

    bool operator==(const TakeStorage&) const = default;
};

// The sound of the take that ended last, by "close" or by split_take, and
// what became of it: what the takes log tells of it.
struct EndedTake {
    std::int64_t frames = 0;
    // The largest absolute sample, 0 to 32768.
    int peak = 0;
    // kPending: what the save came to is told later (when_saved_later).
    enum class Saved { kNotAsked, kStored, kNameTaken, kFailed, kPending };
    Saved saved = Saved::kNotAsked;
    // Why it could not be saved, as the system words it.
    std::string reason;

    bool operator==(const EndedTake&) const = default;
};

// The wave-audio recorder as the rest of the program drives it: a few
// settings and the orders "Open", "Record", "stop", "save" and "close".
// Every call returns at once and none reports a failure: an order that does
// not apply does nothing.
class RecorderControl {
  public:
    virtual ~RecorderControl() = default;

    // The bare file name the next "save" writes.
    virtual void setFileName(const std::string& file_name) = 0;
    virtual std::string FileName() const = 0;
    // How the names of the takes it saves end: ".wav", or ".flac".
    virtual std::string take_extension() const { return ".wav"; }
    // The next "save" or split_take save that ends its take before it is
    // stored (EndedTake::Saved::kPending) tells `told` what it came to,
    // once, from another thread; until the next "close".
    virtual void when_saved_later(LateSaveTold /*told*/) {}
    // Carries out one order, written exactly so.
    virtual void Command(const std::string& order) = 0;
    virtual int Mode() const = 0;
    // What went wrong with the last order that should have captured sound,
    // or with the capture that runs between takes.
    virtual RecorderTrouble trouble() const { return {}; }
    virtual TakeStorage storage() const { return {}; }
    // None (no frames) when the last "close" found no take open.
    virtual EndedTake ended_take() const { return {}; }

    // Not orders: what a run tells the recorder so that a take can begin
    // with the sound from before its first "Record". Times are on the steady
    // clock's scale, in milliseconds.
    // A run begins: capture may run between takes, keeping sound for a take
    // that begins no more than `reach` before its first "Record".
    virtual void listen_between_takes(std::chrono::milliseconds /*reach*/) {}
    // The run ended: capture runs only during takes again.
    virtual void stop_listening() {}
    // The scanner said it heard nothing in a status reply sent at `sent`.
    virtual void heard_nothing_at(std::chrono::milliseconds /*sent*/) {}
    // When the take the next "Open" starts began, as its name will say it
    // ("9-05-07-PM_12-05-2026"), until the next "close": a take cut short
    // before its save can still be named by it.
    virtual void set_take_start(const std::string& /*started*/) {}
    // What the take says of itself inside its file, from the next "Open"
    // (or now, for the take open now) until the next "close".
    virtual void set_take_tags(const TakeTags& /*tags*/) {}
    // A call longer than a take may be: what was recorded of it so far is
    // saved under FileName when `save` (as "save" would, never over a file),
    // and the call goes on as a new take that began at `started`, from the
    // very next sample, so nothing is lost or doubled between the two.
    virtual void split_take(bool /*save*/, const std::string& /*started*/) {}
};

}  // namespace taperly
