#include "app/form1.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStandardPaths>
#include <QStyle>
#include <QUrl>
#include <exception>

#include "app/artwork.h"
#include "app/clickable_picture.h"
#include "app/status_fit.h"
#include "app/system_clock.h"
#include "archive/star_file.h"
#include "takes_window/qt_local_zone.h"
#include "takes_window/qt_trash.h"
#include "takes_window/takes_window.h"
#include "takes_window/unavailable_player.h"

namespace taperly {

namespace {

constexpr int kClientWidth = 225;
constexpr int kClientHeight = 316;
const QColor kFaceColour(224, 224, 224);
const QColor kTextBoxColour(255, 192, 128);

QFont sans_font(double points) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(points);
    return font;
}

void set_colour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

// Text boxes show CR LF line ends as plain line breaks.
QString box_text(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QPlainTextEdit* make_text_box(QWidget* parent, const char* name) {
    auto* box = new QPlainTextEdit(parent);
    box->setObjectName(name);
    box->setReadOnly(true);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setFocusPolicy(Qt::NoFocus);
    box->document()->setDocumentMargin(1);
    return box;
}

}  // namespace

Form1::Form1(Form1Parts parts, QWidget* parent)
    : QWidget(parent),
      take_log_(std::move(parts.take_log)),
      uploads_(std::move(parts.uploads)),
      recorder_(std::move(parts.recorder)),
      clock_(std::move(parts.clock)),
      help_page_(std::move(parts.help_page)),
      take_log_listeners_(parts.take_log_listeners),
      player_(std::move(parts.player)),
      folder_(parts.folder),
      index_folder_(std::move(parts.index_folder)),
      archive_clock_(parts.keeping_clock.wall) {
    port_ = parts.make_port([this](const std::string& reason) { report_link_lost(reason); });
    build_widgets();
    wire_signals();
    RunWindow& window = *this;
    DisplayWindow& display = *this;
    const std::string folder = parts.folder;
    core_ = std::make_unique<RunControl>(window, display, *port_, *recorder_, *clock_,
                                         std::move(parts.folder));
    core_->tracker().set_longest_take(parts.longest_take);
    core_->set_take_log(take_log_.get());
    core_->set_uploads(uploads_.get());
    // Bytes that arrive while a handler runs are read by it or by the next poll.
    port_->on_input([this] { handle([this] { core_->input_arrived(); }, false); });
    // Told on the thread that stored the take: the window's thread is only
    // woken, and hears it in its turn.
    recorder_->on_late_save([this] {
        QMetaObject::invokeMethod(
            this, [this] { handle([this] { core_->late_saves_arrived(); }, true); },
            Qt::QueuedConnection);
    });
    core_->start_up(parts.run_at_start ? AtStart::kRun : AtStart::kWaitForRun);
    // After start-up, so that what it recovered has its rows.
    if (parts.keep_days.days && take_log_ && parts.keeping_clock.wall) {
        // A take starred in the Takes window is never removed.
        keeper_ = std::make_unique<TakeKeeper>(folder, *parts.keep_days.days,
                                               std::move(parts.keeping_clock), *take_log_,
                                               std::make_shared<StarFile>(folder), uploads_.get());
    }
    // Read by the window's thread whenever it draws the status line.
    core_->set_keeping_report([this, refused = parts.keep_days.refused] {
        return keeper_ ? keeper_->trouble() : refused;
    });
}

Form1::~Form1() {
    // No outcome may be sent to a window being torn down.
    recorder_->on_late_save(nullptr);
    if (!closing_) {
        // The recorder's own end waits for the takes still being stored.
        core_->shut_down();
    }
    closing_ = true;
    handling_ = true;
    takes_window_.reset();
}

void Form1::open_takes() {
    if (!takes_window_) {
        if (!player_) {
            player_ = std::make_unique<UnavailablePlayer>("No sound output in this build");
        }
        if (!archive_clock_) {
            archive_clock_ = [clock = std::make_shared<SystemClock>()] {
                return clock->local_time();
            };
        }
        const std::string cache =
            !index_folder_.empty()
                ? index_folder_
                : QStandardPaths::writableLocation(QStandardPaths::CacheLocation).toStdString();
        QDir().mkpath(QString::fromStdString(cache));
        TakesWindowParts parts;
        parts.folder = folder_;
        parts.index_path = index_path_for(cache, folder_);
        parts.log = take_log_listeners_;
        parts.player = player_.get();
        parts.zone = std::make_shared<QtLocalZone>();
        parts.trash = std::make_shared<QtTrash>();
        parts.now = archive_clock_;
        parts.now_seconds = [] { return QDateTime::currentSecsSinceEpoch(); };
        takes_window_ = std::make_unique<TakesWindow>(std::move(parts));
        takes_window_->setWindowIcon(window_icon());
        // Closing the main window ends Taperly, the Takes window open or not.
        takes_window_->setAttribute(Qt::WA_QuitOnClose, false);
        // Made in one turn of the event loop and shown in the next: a poll
        // due meanwhile waits for one of the two, not for both.
        QTimer::singleShot(0, takes_window_.get(), [this] { bring_takes_forward(); });
        return;
    }
    bring_takes_forward();
}

void Form1::bring_takes_forward() {
    // A minimised window is brought back, not only raised behind its icon.
    takes_window_->setWindowState(takes_window_->windowState() & ~Qt::WindowMinimized);
    takes_window_->show();
    takes_window_->raise();
    takes_window_->activateWindow();
}

void Form1::end_abruptly() {
    if (closing_) {
        return;
    }
    // The system ends the process soon after: the takes still to be stored,
    // and the one in progress, are stored as WAV at once, none left
    // half-stored by an encoding that was waited for.
    recorder_->finish_storing_now();
    core_->shut_down();
    recorder_->finish_storing_now();
    // Nothing may reach the core while the parts are torn down.
    closing_ = true;
    handling_ = true;
}

void Form1::end_from_outside() {
    if (!handling_) {
        end_abruptly();
    }
}

void Form1::build_widgets() {
    setObjectName("Form1");
    setWindowTitle("Taperly");
    setWindowIcon(window_icon());
    setFixedSize(kClientWidth, kClientHeight);
    setFont(sans_font(9.75));
    setAutoFillBackground(true);
    set_colour(this, QPalette::Window, kFaceColour);
    set_colour(this, QPalette::Button, kFaceColour);

    picture2_ = new QLabel(this);
    picture2_->setObjectName("Picture2");
    picture2_->setGeometry(6, 8, 225, 121);
    picture2_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture2_->setPixmap(backdrop_pixmap());

    text1_ = make_text_box(this, "Text1");
    text1_->setGeometry(16, 32, 193, 49);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSizeF(12);
    text1_->setFont(fixed);
    set_colour(text1_, QPalette::Base, kTextBoxColour);
    text1_->setPlainText(box_text("Choose Settings\r\nThen Hit Run\r\n"));

    text3_ = new QLineEdit(this);
    text3_->setObjectName("Text3");
    text3_->setGeometry(16, 88, 193, 25);
    text3_->setReadOnly(true);
    text3_->setFocusPolicy(Qt::NoFocus);
    set_colour(text3_, QPalette::Base, kTextBoxColour);

    command1_ = new QPushButton("Hold", this);
    command1_->setObjectName("Command1");
    command1_->setGeometry(16, 128, 193, 17);
    command1_->setFont(sans_font(8.25));
    command1_->setEnabled(false);

    label8_ = new QLabel("COM Port:", this);
    label8_->setObjectName("Label8");
    label8_->setGeometry(57, 160, 65, 17);

    combo1_ = new QComboBox(this);
    combo1_->setObjectName("Combo1");
    combo1_->setGeometry(129, 160, 41, 21);
    combo1_->setFont(sans_font(8.25));
    for (int port = 1; port <= kPortCount; ++port) {
        combo1_->addItem(QString::number(port));
    }
    combo1_->setCurrentIndex(-1);

    label10_ = new QLabel("Port Speed:", this);
    label10_->setObjectName("Label10");
    label10_->setGeometry(48, 188, 73, 25);

    combo2_ = new QComboBox(this);
    combo2_->setObjectName("Combo2");
    combo2_->setGeometry(129, 185, 81, 21);
    combo2_->setFont(sans_font(8.25));
    combo2_->addItems({"9600", "19200", "38400", "57600"});
    combo2_->setCurrentIndex(-1);
    combo2_->setEnabled(false);

    picture1_ = new ClickablePicture(this);
    picture1_->setObjectName("Picture1");
    picture1_->setGeometry(8, 208, kLogoWidth, kLogoHeight);
    picture1_->setPixmap(logo_pixmap());
    picture1_->setToolTip("Taperly's help");

    command2_ = new QPushButton(QString::fromStdString(run_caption_), this);
    command2_->setObjectName("Command2");
    command2_->setGeometry(153, 225, 57, 25);
    command2_->setEnabled(false);

    // Below Run, above the version box: room no control of the layout uses.
    command3_ = new QPushButton("Takes", this);
    command3_->setObjectName("Command3");
    command3_->setGeometry(153, 253, 57, 17);
    command3_->setFont(sans_font(8.25));
    command3_->setFocusPolicy(Qt::NoFocus);
    command3_->setToolTip("Find, play and keep takes (Ctrl+T)");

    text4_ = make_text_box(this, "Text4");
    text4_->setGeometry(32, 272, 161, 33);
    text4_->setFont(sans_font(8.25));
    set_colour(text4_, QPalette::Base, kFaceColour);
    set_colour(text4_, QPalette::Text, QColor(128, 128, 128));

    // Children of the window, so that they can be found by name.
    timer1_.setParent(this);
    timer3_.setParent(this);
    timer1_.setObjectName("Timer1");
    timer1_.setInterval(kDefaultPollIntervalMs);
    // A coarse timer may fire up to 5 % late; every late firing delays the
    // status reply that starts or ends a take.
    timer1_.setTimerType(Qt::PreciseTimer);
    timer3_.setObjectName("Timer3");
    timer3_.setInterval(100);
    // Started anew at every poll (see wire_signals), it must never come
    // before the poll it is to follow, as a coarse timer may.
    timer3_.setTimerType(Qt::PreciseTimer);
}

void Form1::wire_signals() {
    // A user's action that arrives while a handler runs waits its turn.
    const auto forward = [this](void (RunControl::*handler)()) {
        return [this, handler] { handle([this, handler] { (core_.get()->*handler)(); }, true); };
    };
    // A timer that fires while a handler runs is skipped: it fires again.
    const auto forward_timer = [this](void (RunControl::*handler)()) {
        return [this, handler] { handle([this, handler] { (core_.get()->*handler)(); }, false); };
    };
    // Choices from the lists only: selections made by loading the settings
    // reach run control directly.
    connect(combo1_, &QComboBox::activated, this, forward(&RunControl::port_chosen));
    connect(combo2_, &QComboBox::activated, this, forward(&RunControl::speed_chosen));
    connect(command2_, &QPushButton::clicked, this, forward(&RunControl::run_stop_pressed));
    connect(command1_, &QPushButton::clicked, this, forward(&RunControl::hold_pressed));
    connect(picture1_, &ClickablePicture::clicked, this, forward(&RunControl::logo_clicked));
    // The Takes window is a room of its own: opening it touches no run.
    connect(command3_, &QPushButton::clicked, this, &Form1::open_takes);
    auto* takes_key = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_T), this);
    connect(takes_key, &QShortcut::activated, this, &Form1::open_takes);
    // The mode is shown ten times a second, and a poll wakes the program
    // that often anyway: the mode is shown right after each poll and Timer3
    // starts its 100 ms anew, so it wakes the program by itself only while
    // the polls come slower than that.
    const auto show_mode = forward_timer(&RunControl::mode_timer_fired);
    connect(&timer1_, &QTimer::timeout, this,
            [this, poll = forward_timer(&RunControl::poll_timer_fired), show_mode] {
                poll();
                if (timer3_.isActive()) {
                    timer3_.start();
                    show_mode();
                }
            });
    connect(&timer3_, &QTimer::timeout, this, show_mode);
}

void Form1::handle(std::function<void()> handler, bool wait_turn) {
    // Qt turns the event loop inside some of its own calls (tearing down a
    // sound source does); a handler must never start inside another one,
    // as a poll inside a poll would finish one take twice.
    if (handling_) {
        if (wait_turn && !closing_) {
            QMetaObject::invokeMethod(
                this, [this, handler] { handle(handler, true); }, Qt::QueuedConnection);
        }
        return;
    }
    handling_ = true;
    safely(handler);
    handling_ = false;
}

void Form1::safely(const std::function<void()>& handler) {
    // Nothing may throw through the event loop: a slot's failure is shown,
    // through the status line's one way in, so the next text is still drawn.
    try {
        handler();
    } catch (const std::exception& error) {
        set_status_text(error.what());
    }
}

void Form1::report_link_lost(const std::string& reason) {
    if (closing_) {
        return;
    }
    // Told inside a handler, the loss is heard at once all the same: what
    // fails next in that handler is the same loss, not another one.
    const auto tell = [this, &reason] { core_->link_lost(reason); };
    if (handling_) {
        safely(tell);
    } else {
        handle(tell, false);
    }
}

void Form1::closeEvent(QCloseEvent* event) {
    handle([this] { core_->shut_down(); }, false);
    if (takes_window_) {
        takes_window_->close();
    }
    event->accept();
}

void Form1::set_status_text(const std::string& text) {
    // Ten times a second the same text comes again: compared as it comes,
    // it is neither converted nor fitted nor drawn again.
    if (text != status_given_) {
        status_given_ = text;
        const QString shown =
            fit_status_text(QString::fromStdString(text), text3_->fontMetrics(), status_room());
        if (text3_->text() != shown) {
            text3_->setText(shown);
        }
    }
    show_status_tip(text);
}

int Form1::status_room() const {
    // The box less its frame and the line edit's own margin of 2 pixels a
    // side, and a pixel of its cursor.
    const int frame = text3_->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, text3_);
    const QMargins margins = text3_->textMargins();
    return text3_->width() - 2 * frame - 2 * 2 - margins.left() - margins.right() - 1;
}

void Form1::set_status_detail(const std::string& detail) {
    show_status_tip(detail.empty() ? status_given_ : detail);
}

void Form1::show_status_tip(const std::string& tip) {
    if (tip != tip_given_) {
        tip_given_ = tip;
        text3_->setToolTip(QString::fromStdString(tip));
    }
}

void Form1::set_version_text(const std::string& text) {
    text4_->setPlainText(box_text(QString::fromStdString(text)));
}

QWidget* Form1::control(Control which) const {
    switch (which) {
        case Control::Combo1:
            return combo1_;
        case Control::Combo2:
            return combo2_;
        case Control::Command1:
            return command1_;
        case Control::Command2:
            return command2_;
    }
    return command2_;
}

QTimer& Form1::timer(Timer which) {
    return which == Timer::Timer1 ? timer1_ : timer3_;
}

void Form1::set_enabled(Control which, bool enabled) {
    control(which)->setEnabled(enabled);
}

std::string Form1::run_caption() const {
    return run_caption_;
}

void Form1::set_run_caption(const std::string& caption) {
    // Kept as given: run control asks for it at every poll and reply.
    run_caption_ = caption;
    command2_->setText(QString::fromStdString(caption));
}

void Form1::set_caption_colour(CaptionLabel which, Rgb colour) {
    QLabel* label = which == CaptionLabel::Label8 ? label8_ : label10_;
    set_colour(label, QPalette::WindowText, QColor(colour.red, colour.green, colour.blue));
}

void Form1::start_timer(Timer which) {
    timer(which).start();
}

void Form1::stop_timer(Timer which) {
    timer(which).stop();
}

int Form1::poll_period() const {
    return timer1_.interval();
}

void Form1::set_poll_period(int milliseconds) {
    timer1_.setInterval(milliseconds);
}

int Form1::port_index() const {
    return combo1_->currentIndex();
}

void Form1::select_port(int index) {
    combo1_->setCurrentIndex(index);
}

std::string Form1::port_text() const {
    return combo1_->currentText().toStdString();
}

int Form1::speed_index() const {
    return combo2_->currentIndex();
}

void Form1::select_speed(int index) {
    combo2_->setCurrentIndex(index);
}

std::string Form1::speed_text() const {
    return combo2_->currentText().toStdString();
}

void Form1::focus_logo() {
    picture1_->setFocus(Qt::OtherFocusReason);
}

void Form1::open_help_page() {
    QDesktopServices::openUrl(QUrl::fromLocalFile(help_page_));
}

void Form1::set_mirror_text(const std::string& text) {
    // Five status replies a second bring the same lines while the scanner
    // idles; redrawing the box for each cost more than the rest of a poll.
    if (mirrored_ && text == *mirrored_) {
        return;
    }
    mirrored_ = text;
    text1_->setPlainText(box_text(QString::fromLatin1(text.data(), text.size())));
    text1_->verticalScrollBar()->setValue(0);
}

bool Form1::is_minimised() const {
    return isMinimized();
}

void Form1::set_title(const std::string& title) {
    // The display's lines come five times a second, mostly the same.
    if (titled_ && title == *titled_) {
        return;
    }
    titled_ = title;
    setWindowTitle(QString::fromLatin1(title.data(), title.size()));
}

}  // namespace taperly
