#include "app/form1.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <functional>
#include <map>
#include <ostream>
#include <stdexcept>

#include "support/fakes.h"
#include "support/temp_folder.h"
#include "takes_window/takes_window.h"
#include "tracking/take_log_file.h"

namespace taperly {
namespace {

using testing::FakeClock;
using testing::FakePort;
using testing::FakeRecorder;
using testing::TempFolder;

constexpr const char* kSettings = "com_settings.txt";

// Catches the help page the logo asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

class Form1Test : public ::testing::Test {
  protected:
    // The window over fakes, starting up with `settings` (none when absent).
    Form1& make(std::optional<std::string> settings = std::nullopt,
                std::unique_ptr<FakeRecorder> recorder = std::make_unique<FakeRecorder>(),
                const std::function<void(Form1Parts&)>& more = {}) {
        if (settings) {
            folder.write(kSettings, *settings);
        }
        recorder_ = recorder.get();
        Form1Parts parts{[this](LinkLostHandler) {
                             auto port = std::make_unique<FakePort>();
                             port_ = port.get();
                             return port;
                         },
                         std::move(recorder), std::make_unique<FakeClock>(), folder.path(),
                         QString::fromStdString(folder.file("taperly-help.html"))};
        parts.index_folder = cache.path();
        if (more) {
            more(parts);
        }
        form_ = std::make_unique<Form1>(std::move(parts));
        return *form_;
    }
    template <typename W>
    W* child(const char* name) {
        W* widget = form_->findChild<W*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    std::string text3() { return child<QLineEdit>("Text3")->text().toStdString(); }
    QString caption() { return child<QPushButton>("Command2")->text(); }
    void click(const char* name) { QTest::mouseClick(child<QWidget>(name), Qt::LeftButton); }

    TempFolder folder;
    TempFolder cache;
    FakePort* port_ = nullptr;
    FakeRecorder* recorder_ = nullptr;
    std::unique_ptr<Form1> form_;
};

struct PlaceCase {
    const char* name;
    QRect place;
};

class Form1PlaceTest : public Form1Test, public ::testing::WithParamInterface<PlaceCase> {};

TEST_P(Form1PlaceTest, ControlIsWhereTheLayoutPutsIt) {
    make();
    EXPECT_EQ(child<QWidget>(GetParam().name)->geometry(), GetParam().place);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, Form1PlaceTest,
    ::testing::Values(
        PlaceCase{"Picture2", {6, 8, 225, 121}}, PlaceCase{"Text1", {16, 32, 193, 49}},
        PlaceCase{"Text3", {16, 88, 193, 25}}, PlaceCase{"Command1", {16, 128, 193, 17}},
        PlaceCase{"Label8", {57, 160, 65, 17}}, PlaceCase{"Combo1", {129, 160, 41, 21}},
        PlaceCase{"Label10", {48, 188, 73, 25}}, PlaceCase{"Combo2", {129, 185, 81, 21}},
        PlaceCase{"Picture1", {8, 208, 129, 48}}, PlaceCase{"Command2", {153, 225, 57, 25}},
        PlaceCase{"Text4", {32, 272, 161, 33}}, PlaceCase{"Command3", {153, 253, 57, 17}}),
    [](const auto& info) { return std::string(info.param.name); });

struct StatusCase {
    const char* name;
    std::string text;
    // "": shown whole.
    std::string shown;
};

void PrintTo(const StatusCase& c, std::ostream* out) {
    *out << c.name;
}

class StatusLineFitTest : public Form1Test, public ::testing::WithParamInterface<StatusCase> {};

// Whatever the status line says can be read on screen: a text that fits is
// shown whole, a longer one up to a whole word; the tooltip holds all of it,
// and no longer what was said before.
TEST_P(StatusLineFitTest, ShowsWholeWordsThatFitAndTheWholeTextAsTooltip) {
    Form1& form = make();
    form.show();
    auto* line = child<QLineEdit>("Text3");
    form.run_window().set_status_text("Waiting");
    form.run_window().set_status_detail("Waiting; uploads.ini line 3: no url");
    form.run_window().set_status_text(GetParam().text);
    const QString shown = line->text();
    const std::string expected = GetParam().shown.empty() ? GetParam().text : GetParam().shown;
    EXPECT_EQ(line->toolTip().toStdString(), GetParam().text);
    // Shown from its start, a text that fits ends before the box's right edge.
    line->setCursorPosition(0);
    EXPECT_EQ(line->cursorPositionAt(QPoint(line->width() - 3, line->height() / 2)), shown.size())
        << "cut on screen: " << shown.toStdString();
    EXPECT_EQ(shown.toStdString(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, StatusLineFitTest,
    ::testing::Values(
        StatusCase{"select_port", "Select COM Port", ""},
        StatusCase{"same_again_without_its_detail", "Waiting", ""},
        StatusCase{"setting_up", "Setting Up Audio", ""},
        StatusCase{"line_lost", "Line lost, trying again", ""},
        StatusCase{"port_not_open", "Port not open, trying again", ""},
        StatusCase{"takes_recovered", "12 unfinished takes saved", ""},
        StatusCase{"no_answer", "Scanner does not answer", ""},
        StatusCase{"unreadable", "Replies cannot be read", ""},
        StatusCase{"no_sound", "No sound input: not saved", ""},
        StatusCase{"cannot_record", "Cannot record: see tooltip", ""},
        StatusCase{"writing_failed", "Writing failed: take cut", ""},
        StatusCase{"name_taken", "Take not saved: name taken", ""},
        StatusCase{"poll_clamped", "Poll interval: 1000 ms used", ""},
        StatusCase{"open_failed_aside_dropped",
                   "Cannot open COM1 (/dev/serial/by-id/usb-FTDI_FT232R-if00-port0): busy",
                   "Cannot open COM1: busy"},
        StatusCase{"open_failed_cut_after_a_word",
                   "Cannot open COM10 (/dev/serial/by-id/usb-FTDI_FT232R_USB_UART-if00-port0): "
                   "permission denied",
                   "Cannot open COM10\u2026"},
        StatusCase{"long_word_first",
                   "/home/user/Taperly/com_settings.txt/cannot-be-written-here: read-only",
                   "\u2026"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Form1Test, TheTakesControlLiesOnNoOtherControl) {
    make();
    const QRect takes = child<QWidget>("Command3")->geometry();
    EXPECT_TRUE(child<QWidget>("Command3")->isVisibleTo(form_.get()));
    EXPECT_TRUE(form_->rect().contains(takes));
    for (const QWidget* control : form_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (control->objectName() != "Command3" && control->isVisibleTo(form_.get())) {
            EXPECT_FALSE(control->geometry().intersects(takes))
                << control->objectName().toStdString();
        }
    }
}

TEST_F(Form1Test, TheTakesControlMovesAndShrinksNoOtherControl) {
    make();
    form_->show();
    const auto places = [this] {
        std::map<std::string, std::vector<int>> found;
        for (const QWidget* control : form_->findChildren<QWidget*>()) {
            const QRect place = control->geometry();
            if (control->objectName() != "Command3" && !control->objectName().isEmpty()) {
                found[control->objectName().toStdString()] = {place.x(), place.y(), place.width(),
                                                              place.height()};
            }
        }
        return found;
    };
    const std::map<std::string, std::vector<int>> with_takes = places();
    const QSize size = form_->size();
    delete child<QWidget>("Command3");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_EQ(places(), with_takes);
    EXPECT_EQ(form_->size(), size);
}

TEST_F(Form1Test, CtrlTOpensTheTakesWindowAndBringsItToTheFrontAgain) {
    make();
    form_->show();
    form_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
    ASSERT_EQ(form_->takes_window(), nullptr);
    QTest::keyClick(form_.get(), Qt::Key_T, Qt::ControlModifier);
    TakesWindow* takes = form_->takes_window();
    ASSERT_NE(takes, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([takes] { return takes->isVisible(); }));

    EXPECT_TRUE(takes->windowTitle().startsWith("Takes"));
    takes->showMinimized();
    click("Command3");
    EXPECT_EQ(form_->takes_window(), takes);
    EXPECT_TRUE(takes->isVisible());
    EXPECT_FALSE(takes->isMinimized());
    // Closing the main window closes it too: Taperly ends.
    form_->close();
    EXPECT_FALSE(takes->isVisible());
}

TEST_F(Form1Test, WindowFrameAndPictures) {
    Form1& form = make();
    EXPECT_EQ(form.size(), QSize(225, 316));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(form.windowTitle(), "Taperly");
    const QList<QSize> sizes = form.windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(32, 32)));
    EXPECT_EQ(child<QLabel>("Picture1")->pixmap().size(), QSize(129, 48));
    const QImage backdrop = child<QLabel>("Picture2")->pixmap().toImage();
    EXPECT_EQ(backdrop.size(), QSize(213, 119));
    EXPECT_EQ(backdrop.pixelColor(106, 60), QColor(255, 192, 128));
}

TEST_F(Form1Test, StartsWithoutSettingsChoosingAPort) {
    make();
    EXPECT_EQ(text3(), "Select COM Port");
    EXPECT_EQ(child<QPlainTextEdit>("Text1")->toPlainText(), "Choose Settings\nThen Hit Run\n");
    EXPECT_EQ(child<QPlainTextEdit>("Text4")->toPlainText(), "Taperly\nV1.0 04/30/05");
    auto* combo1 = child<QComboBox>("Combo1");
    auto* combo2 = child<QComboBox>("Combo2");
    EXPECT_EQ(combo1->count(), 10);
    EXPECT_EQ(combo1->itemText(9), "10");
    EXPECT_EQ(combo2->itemText(3), "57600");
    EXPECT_EQ(combo1->currentIndex(), -1);
    EXPECT_EQ(combo2->currentIndex(), -1);
    EXPECT_TRUE(combo1->isEnabled());
    EXPECT_FALSE(combo2->isEnabled());
    EXPECT_FALSE(child<QPushButton>("Command1")->isEnabled());
    EXPECT_FALSE(child<QPushButton>("Command2")->isEnabled());
    EXPECT_EQ(form_->run_control().show_t1i(), "-");
    EXPECT_TRUE(recorder_->log.empty());

    // Choosing from the lists with the keyboard.
    combo1->setFocus();
    QTest::keyClick(combo1, Qt::Key_Down);
    EXPECT_EQ(text3(), "Select Port Speed");
    EXPECT_TRUE(combo2->isEnabled());
    QTest::keyClick(combo2, Qt::Key_Down);
    EXPECT_EQ(text3(), "Hit Run");
    EXPECT_TRUE(child<QPushButton>("Command2")->isEnabled());
    EXPECT_EQ(recorder_->orders(), (std::vector<std::string>{"Open", "Record", "stop", "close"}));
}

TEST_F(Form1Test, StartsWithSettingsReadyToRun) {
    make("2\r\n1\r\n250\r\n");
    EXPECT_EQ(text3(), "Hit Run");
    EXPECT_EQ(child<QComboBox>("Combo1")->currentText(), "3");
    EXPECT_EQ(child<QComboBox>("Combo2")->currentText(), "19200");
    EXPECT_TRUE(child<QPushButton>("Command2")->isEnabled());
    EXPECT_EQ(child<QTimer>("Timer1")->interval(), 250);
    EXPECT_EQ(form_->run_control().show_t1i(), "250");
    EXPECT_EQ(recorder_->orders(), (std::vector<std::string>{"Open", "Record", "stop", "close"}));
}

TEST_F(Form1Test, LogoOpensTheHelpPage) {
    make();
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    click("Picture1");
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_EQ(catcher.opened[0].toLocalFile().toStdString(), folder.file("taperly-help.html"));
}

// A recorder that stops answering while it fails.
class FailingRecorder : public FakeRecorder {
  public:
    int Mode() const override {
        if (failing) {
            throw std::runtime_error("Recorder gone");
        }
        return FakeRecorder::Mode();
    }
    bool failing = false;
};

// A handler's failure is said on the status line like any other text, so
// what the line said before is drawn again once the failure is over.
TEST_F(Form1Test, StatusLineSaysAgainWhatItSaidBeforeAHandlerFailed) {
    auto recorder = std::make_unique<FailingRecorder>();
    FailingRecorder& failing = *recorder;
    make("0\r\n0\r\n", std::move(recorder));
    click("Command2");
    ASSERT_TRUE(QTest::qWaitFor([&] { return text3() == "Waiting"; }, 5000)) << text3();
    failing.failing = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return text3() == "Recorder gone"; }, 5000)) << text3();
    failing.failing = false;
    EXPECT_TRUE(QTest::qWaitFor([&] { return text3() == "Waiting"; }, 5000)) << text3();
}

// What keeping's thread finds reaches the status line, between takes.
TEST_F(Form1Test, KeepingThatCannotWorkIsToldBetweenTakes) {
    folder.write("takes.csv", "start\r\n\"" + std::string(70 * 1024, 'x') + "\r\n");
    make("0\r\n0\r\n", std::make_unique<FakeRecorder>(), [this](Form1Parts& parts) {
        parts.take_log = std::make_unique<TakeLogFile>(folder.path());
        parts.keep_days = {30, {}};
        parts.keeping_clock = {[] {
                                   return LocalTime{"", {2026, 12, 5}, {12, 0, 0, 0}};
                               },
                               [] { return SteadyTime(0); }};
    });
    click("Command2");
    const auto tooltip = [this] { return child<QLineEdit>("Text3")->toolTip().toStdString(); };
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return tooltip().find("takes.csv cannot be read past byte 7") != std::string::npos; },
        5000))
        << tooltip();
}

TEST_F(Form1Test, ClosingTheWindowReleasesThePort) {
    Form1& form = make("0\r\n0\r\n");
    form.show();
    click("Command2");
    ASSERT_TRUE(port_->is_open());
    form.close();
    EXPECT_FALSE(port_->is_open());
    EXPECT_EQ(caption(), "Run");
}

}  // namespace
}  // namespace taperly

#include "form1_test.moc"
