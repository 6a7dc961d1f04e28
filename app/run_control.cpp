#include "app/run_control.h"

#include <exception>

#include "link/link_error.h"
#include "link/scanner_link.h"
#include "recorder/recorder_orders.h"
#include "tracking/reply_timing.h"

namespace taperly {

namespace {

// Counts a step while it is under way, however it ends.
class StepUnderWay {
  public:
    explicit StepUnderWay(int& count) : count_(count) { ++count_; }
    ~StepUnderWay() { --count_; }

  private:
    int& count_;
};

}  // namespace

RunControl::RunControl(RunWindow& window, DisplayWindow& display, ScannerPort& port,
                       RecorderControl& recorder, Clock& clock, std::string folder)
    : window_(window),
      recorder_(recorder),
      port_(port),
      clock_(clock),
      folder_(std::move(folder)),
      line_(port),
      tracker_(port, recorder, clock, display, folder_) {}

template <typename Steps>
void RunControl::guarded(Steps&& steps) {
    {
        const StepUnderWay under_way(steps_under_way_);
        try {
            steps();
        } catch (const LinkError& error) {
            report({error.short_text(), error.what()});
        } catch (const std::exception& error) {
            report({error.what(), error.what()});
        }
    }
    answer_lost_line();
}

bool RunControl::run_is_on() const {
    return window_.run_caption() != "Run";
}

void RunControl::start_up(AtStart at_start) {
    bool restored = false;
    guarded([this, &restored] { restored = start_up_steps(); });
    guarded([this] { recover_takes(); });
    if (at_start == AtStart::kRun && restored) {
        guarded([this] { start_run(true); });
    }
}

bool RunControl::start_up_steps() {
    tracker_.state().gotSystem1 = "0";
    tracker_.state().GotSystem2 = "0";
    window_.set_status_text("Select COM Port");
    window_.set_version_text(kVersionText);
    window_.set_poll_period(kDefaultPollIntervalMs);
    if (!load_settings(folder_, *this)) {
        return false;
    }
    show_t1i_ = std::to_string(window_.poll_period());
    window_.set_enabled(Control::Command2, true);
    if (poll_interval_adjusted()) {
        show(poll_interval_note(*interval_from_file_, window_.poll_period(), chosen_speed()));
    }
    return window_.port_index() != -1 && window_.speed_index() != -1;
}

void RunControl::recover_takes() {
    const std::vector<std::string> names = recover_and_log_unfinished_takes(folder_, take_log_);
    if (names.empty()) {
        return;
    }
    recovered_note_ = recovered_takes_note(names);
    StatusText note = *recovered_note_;
    // Both stand until Run; the line has room for one.
    if (poll_interval_adjusted()) {
        note.detail +=
            " " +
            poll_interval_note(*interval_from_file_, window_.poll_period(), chosen_speed()).detail;
    }
    show(note);
}

void RunControl::select_port(int index) {
    window_.select_port(index);
    port_chosen_steps();
}

void RunControl::select_speed(int index) {
    window_.select_speed(index);
    speed_chosen_steps();
}

void RunControl::set_poll_interval(int milliseconds) {
    wanted_interval_ = milliseconds;
    use_poll_interval();
}

void RunControl::use_poll_interval() {
    if (!wanted_interval_) {
        return;
    }
    const int used = usable_poll_interval(*wanted_interval_, chosen_speed());
    window_.set_poll_period(used);
    interval_from_file_ = used != *wanted_interval_ ? wanted_interval_ : std::nullopt;
}

bool RunControl::poll_interval_adjusted() const {
    return interval_from_file_.has_value();
}

int RunControl::chosen_speed() const {
    try {
        return line_settings_from_text(window_.speed_text()).bits_per_second;
    } catch (const LinkError&) {
        return 0;
    }
}

void RunControl::port_chosen() {
    guarded([this] { port_chosen_steps(); });
}

void RunControl::port_chosen_steps() {
    if (window_.port_index() == -1) {
        return;
    }
    window_.set_enabled(Control::Combo2, true);
    window_.set_status_text("Select Port Speed");
}

void RunControl::speed_chosen() {
    guarded([this] { speed_chosen_steps(); });
}

void RunControl::speed_chosen_steps() {
    if (window_.speed_index() == -1) {
        return;
    }
    window_.set_status_text("Setting Up Audio");
    warm_up_recorder(recorder_);
    window_.set_enabled(Control::Command2, true);
    window_.set_status_text("Hit Run");
    // Another speed may carry the file's interval, or no longer carry it.
    const bool was_adjusted = poll_interval_adjusted();
    use_poll_interval();
    if (poll_interval_adjusted() || was_adjusted) {
        show(poll_interval_adjusted()
                 ? poll_interval_note(*interval_from_file_, window_.poll_period(), chosen_speed())
                 : StatusText{"Hit Run", {}});
    }
}

void RunControl::run_stop_pressed() {
    guarded([this] {
        if (window_.run_caption() == "Run") {
            start_run();
        } else {
            stop_run();
        }
    });
}

void RunControl::start_run(bool unattended) {
    // Pressing Run is the user's answer to what start-up recovered; a run
    // started by itself goes on saying it.
    if (!unattended) {
        recovered_note_.reset();
    }
    held_report_.reset();
    report_held_at_mode_.reset();
    // Uploading does not wait for the line: takes stored earlier go out
    // while the port is tried.
    if (uploads_ != nullptr) {
        uploads_->run_started();
    }
    if (unattended) {
        line_.open_or_keep_trying(window_.port_text(), window_.speed_text(), clock_.steady_time());
    } else {
        line_.open(window_.port_text(), window_.speed_text());
    }
    watch_new_line();
    tracker_.look_at_takes_folder();
    tracker_.set_line_speed(line_.bits_per_second());
    // Before the settings are written: a run whose settings cannot be kept
    // still records whole transmissions.
    recorder_.listen_between_takes(pre_roll_reach(window_.poll_period(), line_.bits_per_second()));
    window_.start_timer(Timer::Timer1);
    window_.start_timer(Timer::Timer3);
    window_.set_enabled(Control::Command1, true);
    window_.set_enabled(Control::Combo1, false);
    window_.set_enabled(Control::Combo2, false);
    window_.set_caption_colour(CaptionLabel::Label8, kRunningCaptionColour);
    window_.set_caption_colour(CaptionLabel::Label10, kRunningCaptionColour);
    window_.set_run_caption("Stop");
    // A port that could not be opened is said at once, not at the first firing.
    if (line_.is_lost()) {
        refresh_status();
    }
    // The number in the file is the user's: one that could not be used is
    // written back as it was, not as it was made usable.
    save_settings(folder_, window_.port_index(), window_.speed_index(),
                  interval_from_file_.value_or(window_.poll_period()));
    recorder_.Command("close");
}

void RunControl::stop_run() {
    // What was recorded of a transmission still going on is saved under its
    // name now; left open, the next Run would close it unsaved and the next
    // take would inherit its start time and names.
    const bool take_finished = tracker_.state().take_in_progress();
    const bool was_retrying = line_.is_lost();
    if (take_finished) {
        tracker_.finish_take();
    }
    window_.stop_timer(Timer::Timer1);
    window_.stop_timer(Timer::Timer3);
    window_.set_enabled(Control::Command1, false);
    window_.set_enabled(Control::Combo1, true);
    window_.set_enabled(Control::Combo2, true);
    window_.set_caption_colour(CaptionLabel::Label8, kStoppedCaptionColour);
    window_.set_caption_colour(CaptionLabel::Label10, kStoppedCaptionColour);
    line_.close();
    recorder_.stop_listening();
    window_.set_run_caption("Run");
    held_report_.reset();
    report_held_at_mode_.reset();
    // A line no longer tried must not be said to be tried, and the take just
    // saved is told as any other; otherwise the last word of the run stays
    // for the user to read.
    if (take_finished || was_retrying) {
        show_takes_outcome();
    }
}

void RunControl::hold_pressed() {
    guarded([this] {
        send_command(port_, "KEY,H,P");
        window_.focus_logo();
    });
}

void RunControl::logo_clicked() {
    guarded([this] { window_.open_help_page(); });
}

void RunControl::poll_timer_fired() {
    if (line_.is_lost()) {
        guarded([this] { reopen_if_due(); });
        return;
    }
    guarded([this] {
        if (tracker_.finish_take_of_silent_scanner(clock_.steady_time(),
                                                   quiet_limit(window_.poll_period()))) {
            refresh_status();
        }
    });
    poll_step([this] { tracker_.poll_tick(); });
}

void RunControl::input_arrived() {
    // A reply handled as soon as it is whole starts and ends a take up to a
    // poll interval closer to the scanner's own flag.
    if (run_is_on() && line_.is_open()) {
        poll_step([this] { tracker_.handle_arrived_replies(); });
    }
}

template <typename Step>
void RunControl::poll_step(Step&& step) {
    guarded([this, &step] {
        try {
            const bool was_taking = tracker_.state().take_in_progress();
            step();
            // The line shows at once how the take ended: left to the mode
            // timer, a Stop just after the closing reply would keep
            // "Recording" on it.
            if (was_taking && !tracker_.state().take_in_progress()) {
                refresh_status();
            }
        } catch (const LinkError& error) {
            line_lost({error.short_text(), error.what()});
        }
    });
}

void RunControl::link_lost(const std::string& reason) {
    line_lost({reason, reason});
}

void RunControl::line_lost(const StatusText& reason) {
    if (!run_is_on()) {
        report(reason);
        return;
    }
    line_.lost(reason.detail, clock_.steady_time());
    answer_lost_line();
}

void RunControl::answer_lost_line() {
    // A loss told from inside a step (the port reports it from inside its
    // write or read) is answered once that step is over, not in its middle.
    if (steps_under_way_ != 0 || line_.state() != ScannerLine::State::kLost) {
        return;
    }
    line_.keep_trying();
    // What was recorded is saved under its name now, exactly as a Stop
    // would; the transmission's end went unheard with the line.
    if (tracker_.state().take_in_progress()) {
        guarded([this] { tracker_.finish_take(); });
    }
    tracker_.discard_partial_reply();
    refresh_status();
}

void RunControl::reopen_if_due() {
    if (line_.retry(clock_.steady_time())) {
        watch_new_line();
    }
    refresh_status();
}

void RunControl::watch_new_line() {
    // Bytes half-received before the line opened must not join the first
    // reply after it, and the scanner's silence is counted from now.
    tracker_.discard_partial_reply();
    tracker_.watch_line_from(clock_.steady_time());
}

void RunControl::shut_down() {
    if (run_is_on()) {
        guarded([this] { stop_run(); });
    }
}

}  // namespace taperly
