#pragma once

#include <map>
#include <string>
#include <vector>

#include "app/run_window.h"

namespace taperly::testing {

// The window's controls as plain values, starting as the window starts.
class FakeRunWindow : public RunWindow {
  public:
    void set_status_text(const std::string& text) override {
        if (text != status) {
            statuses.push_back(text);
        }
        status = text;
        detail = text;
    }
    void set_status_detail(const std::string& text) override {
        detail = text.empty() ? status : text;
    }
    void set_version_text(const std::string& text) override { version = text; }
    void set_enabled(Control control, bool on) override { enabled[control] = on; }
    std::string run_caption() const override { return caption; }
    void set_run_caption(const std::string& text) override { caption = text; }
    void set_caption_colour(CaptionLabel label, Rgb colour) override { colours[label] = colour; }
    void start_timer(Timer timer) override { running[timer] = true; }
    void stop_timer(Timer timer) override { running[timer] = false; }
    int poll_period() const override { return period; }
    void set_poll_period(int milliseconds) override { period = milliseconds; }
    int port_index() const override { return port; }
    void select_port(int index) override { port = index; }
    std::string port_text() const override { return entry(kPorts, port); }
    int speed_index() const override { return speed; }
    void select_speed(int index) override { speed = index; }
    std::string speed_text() const override { return entry(kSpeeds, speed); }
    void focus_logo() override { ++logo_focused; }
    void open_help_page() override { ++help_opened; }

    static inline const std::vector<std::string> kPorts{"1", "2", "3", "4", "5",
                                                        "6", "7", "8", "9", "10"};
    static inline const std::vector<std::string> kSpeeds{"9600", "19200", "38400", "57600"};

    std::string status;
    std::string detail;
    // Every change of the status line's text.
    std::vector<std::string> statuses;
    std::string version;
    std::map<Control, bool> enabled{{Control::Combo1, true},
                                    {Control::Combo2, false},
                                    {Control::Command1, false},
                                    {Control::Command2, false}};
    std::string caption = "Run";
    std::map<CaptionLabel, Rgb> colours;
    std::map<Timer, bool> running{{Timer::Timer1, false}, {Timer::Timer3, false}};
    int period = 100;
    int port = -1;
    int speed = -1;
    int logo_focused = 0;
    int help_opened = 0;

  private:
    static std::string entry(const std::vector<std::string>& list, int index) {
        return index >= 0 && index < static_cast<int>(list.size()) ? list[index] : std::string();
    }
};

}  // namespace taperly::testing
