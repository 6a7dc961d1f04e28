#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
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
    // Why the last take cut short was cut, until a take is saved whole.
    TakeFailure write_failure;
    // Why the last take could not be saved, until a take is saved.
    TakeFailure save_failure;
    // The name of the last take not saved because a file had it, until the
    // next take begins.
    std::string name_taken;
    // The last take saved has its name, but the disk reported an error when
    // the folder's names were flushed: why, until a take is saved cleanly.
    TakeFailure not_flushed;
    // How many takes have been saved: one more says a take was.
    int saved_count = 0;

    bool operator==(const TakeStorage&) const = default;
};

// The sound of a take that ended, by "close" or by split_take, and what
// became of it: what the takes log tells of it.
struct EndedTake {
    std::int64_t frames = 0;
    // The largest absolute sample, 0 to 32768.
    int peak = 0;
    // kPending: what the save came to is told later (when_saved_later).
    enum class Saved { kNotAsked, kStored, kNameTaken, kFailed, kPending };
    Saved saved = Saved::kNotAsked;
    // Why it could not be saved, as the system words it; for a stored take,
    // what went wrong all the same (its folder not flushed).
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
    // `wake` is called, from the thread that stored it, each time a take
    // stored after it ended has an outcome: it only wakes whoever shows the
    // storage, who then calls settle_late_saves on its own thread.
    virtual void on_late_save(std::function<void()> /*wake*/) {}
    // Brings what takes stored after they ended came to into storage(), on
    // the thread that reads it; true when anything came.
    virtual bool settle_late_saves() { return false; }
    // The program is ending and cannot wait for encodings: every take handed
    // on to be stored after it ended is stored now as the WAV it is (one
    // being encoded stops), and this returns once each is stored or left
    // hidden for the next start.
    virtual void finish_storing_now() {}
    // Carries out one order, written exactly so.
    virtual void Command(const std::string& order) = 0;
    virtual int Mode() const = 0;
    // What went wrong with the last order that should have captured sound,
    // or with the capture that runs between takes.
    virtual RecorderTrouble trouble() const { return {}; }
    virtual TakeStorage storage() const { return {}; }
    // "close", telling the take it ended: none when no take was open or it
    // held no sound.
    virtual std::optional<EndedTake> close_take() {
        Command("close");
        return std::nullopt;
    }

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
    // very next sample, so nothing is lost or doubled between the two. The
    // part that ended, or none when nothing is being recorded (the sound
    // input or the disk failed): then the take goes on as it was.
    virtual std::optional<EndedTake> split_take(bool /*save*/, const std::string& /*started*/) {
        return std::nullopt;
    }
};

}  // namespace taperly
