#include "app/run_control.h"

#include <exception>

#include "link/link_error.h"
#include "link/scanner_link.h"
#include "recorder/recorder_orders.h"

namespace taperly {

RunControl::RunControl(RunWindow& window, DisplayWindow& display, ScannerPort& port,
                       RecorderControl& recorder, Clock& clock, std::string folder)
    : window_(window),
      recorder_(recorder),
      port_(port),
      folder_(std::move(folder)),
      tracker_(port, recorder, clock, display, folder_) {}

template <typename Steps>
void RunControl::guarded(Steps&& steps) {
    try {
        steps();
    } catch (const std::exception& error) {
        report(error.what());
    }
}

void RunControl::report(const std::string& message) {
    window_.set_status_text(message);
    if (run_is_on()) {
        report_held_at_mode_ = recorder_.Mode();
    }
}

bool RunControl::run_is_on() const {
    return window_.run_caption() != "Run";
}

void RunControl::start_up() {
    guarded([this] { start_up_steps(); });
}

void RunControl::start_up_steps() {
    tracker_.state().gotSystem1 = "0";
    tracker_.state().GotSystem2 = "0";
    window_.set_status_text("Select COM Port");
    window_.set_version_text(kVersionText);
    window_.set_poll_period(kDefaultPollIntervalMs);
    if (!load_settings(folder_, *this)) {
        return;
    }
    show_t1i_ = std::to_string(window_.poll_period());
    window_.set_enabled(Control::Command2, true);
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
    window_.set_poll_period(milliseconds);
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

void RunControl::start_run() {
    report_held_at_mode_.reset();
    open_scanner_port(port_, window_.port_text(), window_.speed_text());
    // Bytes an earlier run left half-received must not join the new replies.
    tracker_.discard_partial_reply();
    window_.start_timer(Timer::Timer1);
    window_.start_timer(Timer::Timer3);
    window_.set_enabled(Control::Command1, true);
    window_.set_enabled(Control::Combo1, false);
    window_.set_enabled(Control::Combo2, false);
    window_.set_caption_colour(CaptionLabel::Label8, kRunningCaptionColour);
    window_.set_caption_colour(CaptionLabel::Label10, kRunningCaptionColour);
    window_.set_run_caption("Stop");
    save_settings(folder_, window_.port_index(), window_.speed_index(), window_.poll_period());
    recorder_.Command("close");
}

void RunControl::stop_run() {
    // What was recorded of a transmission still going on is saved under its
    // name now; left open, the next Run would close it unsaved and the next
    // take would inherit its start time and names.
    const bool take_finished = tracker_.state().take_in_progress();
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
    close_scanner_port(port_);
    window_.set_run_caption("Run");
    report_held_at_mode_.reset();
    if (take_finished) {
        window_.set_status_text(show_recorder_mode(recorder_));
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
    poll_step([this] { tracker_.poll_tick(); });
}

void RunControl::input_arrived() {
    // A reply handled as soon as it is whole starts and ends a take up to a
    // poll interval closer to the scanner's own flag.
    if (run_is_on()) {
        poll_step([this] { tracker_.handle_arrived_replies(); });
    }
}

template <typename Step>
void RunControl::poll_step(Step&& step) {
    try {
        step();
    } catch (const LinkError& error) {
        guarded([this] { stop_run(); });
        report(error.what());
    } catch (const std::exception& error) {
        report(error.what());
    }
}

void RunControl::mode_timer_fired() {
    const int mode = recorder_.Mode();
    if (report_held_at_mode_ == mode) {
        return;
    }
    report_held_at_mode_.reset();
    window_.set_status_text(recorder_mode_text(mode));
}

void RunControl::link_lost(const std::string& reason) {
    if (run_is_on()) {
        guarded([this] { stop_run(); });
    }
    report(reason);
}

void RunControl::shut_down() {
    if (run_is_on()) {
        guarded([this] { stop_run(); });
    }
}

}  // namespace taperly
