#pragma once

#include <chrono>
#include <string>

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
    };
    Kind kind = Kind::kNone;
    std::string detail;

    bool operator==(const RecorderTrouble&) const = default;
};

// The wave-audio recorder as the rest of the program drives it: a few
// settings and the orders "Open", "Record", "stop", "save" and "close".
// Every call returns at once and none reports a failure: an order that does
// not apply does nothing.
class RecorderControl {
  public:
    virtual ~RecorderControl() = default;

    virtual void setNotify(bool notify) = 0;
    virtual void setWait(bool wait) = 0;
    virtual void setShareable(bool shareable) = 0;
    virtual void setDeviceType(const std::string& device_type) = 0;
    virtual void setRecordMode(int record_mode) = 0;
    // The bare file name the next "save" writes.
    virtual void setFileName(const std::string& file_name) = 0;
    virtual std::string FileName() const = 0;
    // Carries out one order, written exactly so.
    virtual void Command(const std::string& order) = 0;
    virtual int Mode() const = 0;
    // What went wrong with the last order that should have captured sound,
    // or with the capture that runs between takes.
    virtual RecorderTrouble trouble() const { return {}; }

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
};

}  // namespace taperly
