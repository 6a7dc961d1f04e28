#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/run_control.h"
#include "app/run_window.h"
#include "keeping/take_keeper.h"
#include "link/scanner_port.h"
#include "playback/take_player.h"
#include "recorder/recorder_control.h"
#include "tracking/clock.h"
#include "tracking/display_window.h"
#include "tracking/take_log_listeners.h"
#include "uploads/uploads_room.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace taperly {

class ClickablePicture;
class TakesWindow;

// Told once, with the reason in words, when the serial line disappears.
using LinkLostHandler = std::function<void(const std::string& reason)>;
using PortFactory = std::function<std::unique_ptr<ScannerPort>(LinkLostHandler)>;

// What the window works with; the window owns all of it.
struct Form1Parts {
    PortFactory make_port;
    std::unique_ptr<RecorderControl> recorder;
    std::unique_ptr<Clock> clock;
    // Where the settings file is read and written and takes are saved.
    std::string folder;
    // The help page the logo opens.
    QString help_page;
    // Run is pressed by itself once the settings have restored a port and a speed.
    bool run_at_start = false;
    // A call longer than this is saved in takes of this length.
    std::chrono::minutes longest_take{60};
    // Where every take gets its row; none keeps no log.
    std::unique_ptr<TakeLog> take_log = nullptr;
    // Saved takes are removed once they are this many days old (the log
    // tells which and how old); none keeps every take, and a refused
    // setting is told in the status line.
    KeepDays keep_days = {};
    // The clocks that keeping reads, from a thread of its own.
    KeepingClock keeping_clock = {};
    // The door to take_log through which the Takes window hears of takes
    // saved; none keeps the window to what the log held when it opened.
    TakeLogListeners* take_log_listeners = nullptr;
    // What the Takes window plays takes through.
    std::unique_ptr<TakePlayer> player = nullptr;
    // Where the Takes window keeps its index; empty: the user's cache folder.
    std::string index_folder = {};
    // Uploads of the takes `take_log` tells of; none uploads nothing.
    std::unique_ptr<RunUploads> uploads = nullptr;
};

// Taperly's one window. It only wires its widgets and timers to RunControl.
class Form1 : public QWidget, private RunWindow, private DisplayWindow {
    Q_OBJECT
  public:
    explicit Form1(Form1Parts parts, QWidget* parent = nullptr);
    ~Form1() override;

    RunControl& run_control() { return *core_; }
    // The program is ended from outside (the display gone, a quit signal,
    // the session's end): the take in progress is saved as Stop saves it and
    // the port closed, and every take still to be stored after it ended is
    // stored now, as WAV where it was to be encoded. Nothing reaches the core
    // afterwards.
    void end_abruptly();
    // A quit signal or the session's end: end_abruptly, unless a handler is
    // under way (Qt turned the event loop inside it), which is never cut in
    // two; then the window's destruction ends the run once it is over.
    void end_from_outside();
    // The window as the run control drives it.
    RunWindow& run_window() { return *this; }
    // Opens the Takes window, or brings it to the front.
    void open_takes();
    // The Takes window, once opened.
    TakesWindow* takes_window() const { return takes_window_.get(); }
    ScannerPort& port() { return *port_; }

    // Safe to call from inside a port operation: run control answers the
    // loss once the step that made that operation is over.
    void report_link_lost(const std::string& reason);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void build_widgets();
    void bring_takes_forward();

    void wire_signals();
    // Runs a handler unless another one is running; `wait_turn` queues it.
    void handle(std::function<void()> handler, bool wait_turn);
    // Runs it and shows its failure in the status line.
    void safely(const std::function<void()>& handler);

    // RunWindow
    void set_status_text(const std::string& text) override;
    void set_status_detail(const std::string& detail) override;
    // The width the status line's text may take, in pixels.
    int status_room() const;
    // Tooltips are compared as given: the status line's is asked ten times
    // a second.
    void show_status_tip(const std::string& tip);
    void set_version_text(const std::string& text) override;
    void set_enabled(Control control, bool enabled) override;
    std::string run_caption() const override;
    void set_run_caption(const std::string& caption) override;
    void set_caption_colour(CaptionLabel label, Rgb colour) override;
    void start_timer(Timer timer) override;
    void stop_timer(Timer timer) override;
    int poll_period() const override;
    void set_poll_period(int milliseconds) override;
    int port_index() const override;
    void select_port(int index) override;
    std::string port_text() const override;
    int speed_index() const override;
    void select_speed(int index) override;
    std::string speed_text() const override;
    void focus_logo() override;
    void open_help_page() override;

    // DisplayWindow
    void set_mirror_text(const std::string& text) override;
    bool is_minimised() const override;
    void set_title(const std::string& title) override;

    QWidget* control(Control which) const;
    QTimer& timer(Timer which);

    // Destroyed last: the recorder adds the rows of takes it stores after
    // they ended (FLAC) until it is gone, and the core adds rows until it is.
    std::unique_ptr<TakeLog> take_log_;
    // Hears of takes through the log, so it goes before the log does.
    std::unique_ptr<RunUploads> uploads_;
    // The core refers to these, so they are destroyed after it.
    std::unique_ptr<ScannerPort> port_;
    std::unique_ptr<RecorderControl> recorder_;
    std::unique_ptr<Clock> clock_;
    QString help_page_;

    QLabel* picture2_ = nullptr;
    QPlainTextEdit* text1_ = nullptr;
    QLineEdit* text3_ = nullptr;
    // What the status line says, of which text3_ may show only the start,
    // and its tooltip, as they were given.
    std::string status_given_;
    std::string tip_given_;
    QPushButton* command1_ = nullptr;
    QLabel* label8_ = nullptr;
    QComboBox* combo1_ = nullptr;
    QLabel* label10_ = nullptr;
    QComboBox* combo2_ = nullptr;
    ClickablePicture* picture1_ = nullptr;
    QPushButton* command2_ = nullptr;
    std::string run_caption_ = "Run";
    QPlainTextEdit* text4_ = nullptr;
    // Opens the Takes window; in room the layout leaves free.
    QPushButton* command3_ = nullptr;
    QTimer timer1_;
    QTimer timer3_;

    std::unique_ptr<RunControl> core_;
    TakeLogListeners* take_log_listeners_ = nullptr;
    std::unique_ptr<TakePlayer> player_;
    std::string folder_;
    std::string index_folder_;
    std::function<LocalTime()> archive_clock_;
    // Gone before the player and the log it listens to.
    std::unique_ptr<TakesWindow> takes_window_;
    // Gone first: it adds rows too.
    std::unique_ptr<TakeKeeper> keeper_;
    // What the mirror shows now, once a status reply has set it.
    std::optional<std::string> mirrored_;
    std::optional<std::string> titled_;
    bool handling_ = false;
    bool closing_ = false;
};

}  // namespace taperly
