#pragma once

#include <string>

namespace taperly {

// The controls of the main window that run control reads and changes.
enum class Control { Combo1, Combo2, Command1, Command2 };
enum class CaptionLabel { Label8, Label10 };
enum class Timer { Timer1, Timer3 };

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
    bool operator==(const Rgb&) const = default;
};

// The main window as run control sees it. Texts are UTF-8.
class RunWindow {
  public:
    virtual ~RunWindow() = default;

    // Text3, the status line. Its tooltip shows the same text until
    // set_status_detail gives a longer one.
    virtual void set_status_text(const std::string& text) = 0;
    // The whole of what the status line says in short; empty: its own text.
    virtual void set_status_detail(const std::string& detail) = 0;
    // Text4, name and version; lines end in CR LF.
    virtual void set_version_text(const std::string& text) = 0;

    virtual void set_enabled(Control control, bool enabled) = 0;
    // The caption of Command2, the only record of whether a run is on.
    virtual std::string run_caption() const = 0;
    virtual void set_run_caption(const std::string& caption) = 0;
    virtual void set_caption_colour(CaptionLabel label, Rgb colour) = 0;

    virtual void start_timer(Timer timer) = 0;
    virtual void stop_timer(Timer timer) = 0;
    virtual int poll_period() const = 0;
    virtual void set_poll_period(int milliseconds) = 0;

    // Combo1 and Combo2: the chosen entry (-1 for none) and the list's text.
    virtual int port_index() const = 0;
    virtual void select_port(int index) = 0;
    virtual std::string port_text() const = 0;
    virtual int speed_index() const = 0;
    virtual void select_speed(int index) = 0;
    virtual std::string speed_text() const = 0;

    // Gives the keyboard focus to the logo, Picture1.
    virtual void focus_logo() = 0;
    // Opens Taperly's help page; a failure is of no consequence.
    virtual void open_help_page() = 0;
};

}  // namespace taperly
