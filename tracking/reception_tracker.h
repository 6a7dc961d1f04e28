#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "link/reply_fields.h"
#include "link/scanner_port.h"
#include "recorder/recorder_control.h"
#include "tracking/clock.h"
#include "tracking/display_window.h"
#include "tracking/take_log.h"
#include "tracking/take_state.h"

namespace taperly {

// When the line last brought anything, and anything that could be read.
struct LineActivity {
    SteadyTime last_byte{0};
    // The last whole status or identity reply that was recognised.
    SteadyTime last_reply{0};
    // The last status reply handled: only these end a take.
    SteadyTime last_status{0};
    // The word a whole reply of another kind began with ("ERR", "NG"), as a
    // scanner in a menu answers, until a status or identity reply comes.
    std::string other_reply;
};

// Follows the scanner through its replies: polls it, records while it
// receives, names and saves each take, answers its prompts and mirrors its
// display. Errors from the serial port propagate out of poll_tick() and end
// that firing where they happen.
class ReceptionTracker {
  public:
    // Takes are saved into `takes_folder`, where the existence test looks too.
    ReceptionTracker(ScannerPort& port, RecorderControl& recorder, Clock& clock,
                     DisplayWindow& window, std::string takes_folder);

    // One firing of the poll timer: ask, collect, handle, switch phase.
    void poll_tick();
    void read_scanner_reply();
    // Handles every complete reply that has arrived, without waiting for the
    // next firing; the phase stays as it is.
    void handle_arrived_replies();

    void handle_identity_reply(std::string_view text);
    void handle_status_reply(const ReplyFields& fields);
    // Tells the recorder when a status reply of `bytes` that arrived at
    // `arrived` left the scanner, if it said it heard nothing.
    void time_status_reply(const ReplyFields& fields, std::size_t bytes, SteadyTime arrived);
    // The line's speed, which tells how long a reply was on the way.
    void set_line_speed(int bits_per_second) { bits_per_second_ = bits_per_second; }
    void finish_take();
    void follow_display(const ReplyFields& fields);

    // A call longer than `longest` is saved in takes of that length, one
    // after another, each with its own start and end time.
    void set_longest_take(std::chrono::minutes longest) { longest_take_ = longest; }
    std::chrono::minutes longest_take() const { return longest_take_; }
    // The take in progress is a later part of a call that was split.
    bool take_split() const { return take_part_ > 1; }

    // Bytes of a reply not yet complete are dropped, as the port drops its
    // buffer when it closes.
    void discard_partial_reply() { received_.clear(); }
    std::size_t partial_reply_size() const { return received_.size(); }

    // Counts the line as heard from at `now`: a run or a reopened line starts
    // with a clean slate.
    void watch_line_from(SteadyTime now) { activity_ = {now, now, now, {}}; }
    const LineActivity& activity() const { return activity_; }

    // A scanner that falls silent mid-call would keep its take open for as
    // long as it stays silent: with no status reply for `limit`, the take is
    // finished now, as a reply without reception would finish it. True when
    // a take was finished.
    bool finish_take_of_silent_scanner(SteadyTime now, SteadyTime limit);
    // The name of the last take that was not saved because a file of that
    // name exists; empty once the next take starts.
    const std::string& name_not_saved() const { return name_not_saved_; }

    // Every take that ends gets a row in `log` (none: no log is kept).
    void set_take_log(TakeLog* log) { take_log_ = log; }

    TakeState& state() { return state_; }
    const TakeState& state() const { return state_; }
    const std::string& dox() const { return dox_; }
    const std::string& takes_folder() const { return takes_folder_; }
    // Asks the takes folder again what its names refuse: it may be another
    // file system than when Taperly started.
    void look_at_takes_folder();

    // The most a reply still waiting for its carriage return may hold.
    static constexpr std::size_t kReceiveBufferSize = 1024;

  private:
    // Whether the reply was one the handlers could read; its carriage return
    // came at `arrived`.
    bool dispatch(std::string_view reply, SteadyTime arrived);
    // The take's file name, from `state` cleaned in place, ending at `end`.
    std::string name_take(TakeState& state, const std::string& end,
                          const CalendarDate& ended_on) const;
    // Whether the name the recorder holds is free; a take that would have
    // had it is told about.
    bool name_is_free();
    void split_take();
    // The take's row as far as the tracker knows it, ending at `end`; taken
    // before the naming cleans the texts.
    TakeLogEntry log_entry(const LocalTime& end) const;
    // Adds the row of the take the recorder ended, which held sound.
    // `name_free`: the tracker found its name free and let it be saved.
    void log_ended_take(TakeLogEntry entry, const EndedTake& ended, bool name_free,
                        bool split_part);
    // A take stored only after it ended (FLAC) gets its row once the
    // recorder tells what its save came to: set before its save.
    void log_late_save(const TakeLogEntry& entry, bool split_part);

    ScannerPort& port_;
    RecorderControl& recorder_;
    Clock& clock_;
    DisplayWindow& window_;
    std::string takes_folder_;
    // What names in the takes folder refuse besides what every name is
    // cleaned of.
    std::string folder_refuses_;
    TakeState state_;
    // The poll phase: "1" asks for status next, "2" for identity.
    std::string dox_ = "1";
    // Received bytes after the last carriage return.
    std::string received_;
    LineActivity activity_;
    std::string name_not_saved_;
    int bits_per_second_ = 0;
    // When the last status poll was sent: a status reply that began before
    // it answers an earlier one.
    SteadyTime status_asked_{0};
    std::chrono::minutes longest_take_{60};
    SteadyTime take_began_{0};
    // The clock's reading when the take in progress began.
    LocalTime take_started_;
    TakeLog* take_log_ = nullptr;
    // Which part of its call the take in progress is, 0 between takes.
    int take_part_ = 0;
};

}  // namespace taperly
