#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/run_window.h"
#include "app/status_line.h"
#include "link/scanner_line.h"
#include "link/scanner_port.h"
#include "recorder/recorder_control.h"
#include "settings/settings_file.h"
#include "tracking/clock.h"
#include "tracking/display_window.h"
#include "tracking/reception_tracker.h"
#include "uploads/uploads_room.h"

namespace taperly {

inline constexpr Rgb kRunningCaptionColour{192, 192, 192};
inline constexpr Rgb kStoppedCaptionColour{64, 64, 64};
inline constexpr const char* kVersionText = "Taperly\r\nV1.0 04/30/05";

// Whether start-up presses Run by itself: for a recorder that starts with the
// computer, when nobody is there.
enum class AtStart { kWaitForRun, kRun };

// Start-up and the handlers of the main window's buttons, lists, logo and
// timers. Every handler reports a failure in the status line and never
// throws: it ends at the step that failed, the steps before it stay done.
class RunControl : private SettingsTarget {
  public:
    // Settings are read from and written to `folder`; takes are saved there.
    RunControl(RunWindow& window, DisplayWindow& display, ScannerPort& port,
               RecorderControl& recorder, Clock& clock, std::string folder);

    // With kRun, Run is pressed once the settings file has restored a port
    // and a speed, and a port that cannot be opened then is tried again every
    // second, as a lost line is.
    void start_up(AtStart at_start = AtStart::kWaitForRun);
    void port_chosen();
    void speed_chosen();
    void run_stop_pressed();
    void hold_pressed();
    void logo_clicked();

    // A firing of Timer1: one poll of the scanner, or, while the line is
    // lost, an attempt to open it again when one is due.
    void poll_timer_fired();
    // Bytes arrived on the serial line between firings.
    void input_arrived();
    // A firing of Timer3: the status line, from the recorder's mode and
    // whatever keeps the run from recording.
    void mode_timer_fired();
    // The serial line went away: during a run the take in progress is saved
    // and the line is opened again as soon as it can be. Safe to call from
    // inside a port operation of a handler under way: the line hears of it
    // at once, the run answers it when that handler's step is over.
    void link_lost(const std::string& reason);
    // The window is closing: a take in progress is kept, the port released.
    void shut_down();
    // The recorder has woken the window: a take stored after it ended has an
    // outcome, told as a save on the spot would be.
    void late_saves_arrived();

    // Every take gets a row in `log`, those recovered at start-up too: set
    // before start_up. None keeps no log.
    void set_take_log(TakeLog* log) {
        take_log_ = log;
        tracker_.set_take_log(log);
    }

    // Uploads start or read uploads.ini again at every Run, and say in the
    // status line what goes wrong. None uploads nothing.
    void set_uploads(RunUploads* uploads) { uploads_ = uploads; }
    // Why keeping takes does not work, asked whenever the status line is
    // drawn; empty while it works.
    void set_keeping_report(std::function<std::string()> report) {
        keeping_report_ = std::move(report);
    }

    bool run_is_on() const;
    // The poll period read from a settings file, "-" when none was read.
    const std::string& show_t1i() const { return show_t1i_; }
    ReceptionTracker& tracker() { return tracker_; }
    const ScannerLine& line() const { return line_; }

  private:
    void select_port(int index) override;
    void select_speed(int index) override;
    void set_poll_interval(int milliseconds) override;
    // The file's interval, within what the chosen speed can carry.
    void use_poll_interval();
    bool poll_interval_adjusted() const;
    int chosen_speed() const;

    // Whether the settings file restored a port and a speed.
    bool start_up_steps();
    void recover_takes();
    void port_chosen_steps();
    void speed_chosen_steps();
    // `unattended`: nobody may be there, so a port that cannot be opened is
    // tried again instead of ending the run.
    void start_run(bool unattended = false);
    void stop_run();
    // Every loss comes here, however it was noticed.
    void line_lost(const StatusText& reason);
    // Saves the take the loss cut and says so, once no step is under way.
    void answer_lost_line();
    void reopen_if_due();
    void watch_new_line();
    StatusFacts status_facts();
    // What the recorder says of the takes' storage, and what start-up
    // recovered until a take is saved.
    void take_storage_facts(StatusFacts& facts);
    void refresh_status();
    void show_takes_outcome();
    void show(const StatusText& status);
    // Shows `message`; during a run it stays until the recorder's mode changes.
    void report(const StatusText& message);
    template <typename Steps>
    void guarded(Steps&& steps);
    // A step of polling: a lost line is opened again, any failure is shown.
    template <typename Step>
    void poll_step(Step&& step);

    RunWindow& window_;
    RecorderControl& recorder_;
    ScannerPort& port_;
    Clock& clock_;
    std::string folder_;
    ScannerLine line_;
    ReceptionTracker tracker_;
    std::string show_t1i_ = "-";
    // A report shown during a run, and the recorder mode at that time.
    std::optional<StatusText> held_report_;
    std::optional<int> report_held_at_mode_;
    // What start-up recovered, told until Run is pressed or a take is saved.
    std::optional<StatusText> recovered_note_;
    // The recorder's count of takes saved when last looked at.
    int saved_count_ = 0;
    // The line or the sound input was in trouble when the status was last shown.
    bool troubled_ = false;
    // The poll interval the settings file gave, and the same when it could
    // not be used.
    std::optional<int> wanted_interval_;
    std::optional<int> interval_from_file_;
    // Steps of handlers under way, one inside another.
    int steps_under_way_ = 0;
    TakeLog* take_log_ = nullptr;
    RunUploads* uploads_ = nullptr;
    std::function<std::string()> keeping_report_;
};

}  // namespace taperly
