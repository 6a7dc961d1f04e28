// The window over a real serial line: the scanner simulator on a
// pseudo-terminal, reached as COM1 through TAPERLY_COM1.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "app/form1.h"
#include "link/serial_scanner_port.h"
#include "support/fakes.h"
#include "support/simulator_process.h"
#include "support/temp_folder.h"

namespace taperly {
namespace {

using testing::FakeClock;
using testing::FakeRecorder;
using testing::SimulatorProcess;
using testing::SimulatorSettings;
using testing::TempFolder;

constexpr const char* kSettings = "com_settings.txt";

class Form1SimulatorTest : public ::testing::Test {
  protected:
    ~Form1SimulatorTest() override { ::unsetenv("TAPERLY_COM1"); }

    // The window set to COM1 at 9600 bit/s, the simulator playing `scenario`.
    Form1& start(const std::string& scenario) {
        SimulatorSettings settings;
        settings.scenario = scenario;
        simulator_ = std::make_unique<SimulatorProcess>(settings);
        simulator_->point_com_port(1);
        folder.write(kSettings, "0\r\n0\r\n100\r\n");
        auto recorder = std::make_unique<FakeRecorder>();
        recorder_ = recorder.get();
        Form1Parts parts{[](LinkLostHandler on_lost) -> std::unique_ptr<ScannerPort> {
                             return std::make_unique<SerialScannerPort>(std::move(on_lost));
                         },
                         std::move(recorder), std::make_unique<FakeClock>(), folder.path(),
                         QString::fromStdString(folder.file("taperly-help.html"))};
        form_ = std::make_unique<Form1>(std::move(parts));
        form_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
        return *form_;
    }
    template <typename W>
    W* child(const char* name) {
        W* widget = form_->findChild<W*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    void click(const char* name) { QTest::mouseClick(child<QWidget>(name), Qt::LeftButton); }
    std::string text3() { return child<QLineEdit>("Text3")->text().toStdString(); }
    QString caption() { return child<QPushButton>("Command2")->text(); }
    QColor colour(const char* label) {
        return child<QLabel>(label)->palette().color(QPalette::WindowText);
    }
    int logged(const std::string& command) {
        const auto commands = simulator_->logged_commands();
        return static_cast<int>(std::count(commands.begin(), commands.end(), command));
    }
    bool wait_for(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, 10000);
    }

    TempFolder folder;
    std::unique_ptr<SimulatorProcess> simulator_;
    FakeRecorder* recorder_ = nullptr;
    std::unique_ptr<Form1> form_;
};

const char* const kQuietScanner = "60 | State Net | North Ops | no\n";

TEST_F(Form1SimulatorTest, RunPollsTheScannerStopEndsIt) {
    Form1& form = start(kQuietScanner);
    for (int run = 1; run <= 2; ++run) {
        std::filesystem::remove(folder.file(kSettings));
        click("Command2");
        ASSERT_EQ(caption(), "Stop") << text3();
        EXPECT_EQ(folder.read(kSettings), "0\r\n0\r\n100\r\n");
        EXPECT_EQ(colour("Label8"), QColor(192, 192, 192));
        EXPECT_EQ(colour("Label10"), QColor(192, 192, 192));
        EXPECT_FALSE(child<QComboBox>("Combo1")->isEnabled());
        EXPECT_FALSE(child<QComboBox>("Combo2")->isEnabled());
        EXPECT_TRUE(wait_for([&] { return logged("STS\\r") >= run && logged("GID\\r") >= run; }));
        EXPECT_TRUE(wait_for([&] {
            return child<QPlainTextEdit>("Text1")->toPlainText() ==
                   "State Net       \nNorth Ops       \n";
        }));
        EXPECT_EQ(text3(), "Waiting");

        click("Command2");
        EXPECT_EQ(caption(), "Run");
        EXPECT_FALSE(form.port().is_open());
        EXPECT_EQ(colour("Label8"), QColor(64, 64, 64));
        EXPECT_EQ(colour("Label10"), QColor(64, 64, 64));
        EXPECT_TRUE(child<QComboBox>("Combo1")->isEnabled());
        EXPECT_TRUE(child<QComboBox>("Combo2")->isEnabled());
        EXPECT_FALSE(child<QPushButton>("Command1")->isEnabled());
    }
}

TEST_F(Form1SimulatorTest, PortThatCannotOpenChangesNothingButTheStatusLine) {
    start(kQuietScanner);
    ::setenv("TAPERLY_COM1", "/dev/taperly-no-such-line", 1);
    std::filesystem::remove(folder.file(kSettings));
    click("Command2");
    EXPECT_EQ(text3(), "COM1: no such device");
    EXPECT_EQ(child<QLineEdit>("Text3")->toolTip().toStdString(),
              "Cannot open COM1 (/dev/taperly-no-such-line): no such device");
    EXPECT_EQ(caption(), "Run");
    EXPECT_TRUE(child<QComboBox>("Combo1")->isEnabled());
    EXPECT_FALSE(child<QPushButton>("Command1")->isEnabled());
    EXPECT_FALSE(std::filesystem::exists(folder.file(kSettings)));
}

TEST_F(Form1SimulatorTest, LineClosedDuringATakeSavesItAndIsTriedUntilStop) {
    start("1.5 | State Net | North Ops | yes | State Net | North Area | Ops\nclose\n");
    click("Command2");
    ASSERT_TRUE(wait_for([&] { return recorder_->mode == kModeRecording; }));
    ASSERT_TRUE(wait_for([&] { return text3() == "Line lost, trying again"; })) << text3();
    EXPECT_EQ(
        child<QLineEdit>("Text3")->toolTip().toStdString().rfind("The serial line on COM1 (", 0),
        0u);
    ASSERT_EQ(recorder_->saved.size(), 1u);
    EXPECT_EQ(recorder_->saved[0].rfind("State-Net_North-Area_Ops_", 0), 0u) << recorder_->saved[0];
    EXPECT_EQ(caption(), "Stop");
    EXPECT_TRUE(child<QTimer>("Timer1")->isActive());
    click("Command2");
    EXPECT_EQ(caption(), "Run");
    EXPECT_FALSE(child<QTimer>("Timer1")->isActive());
    EXPECT_FALSE(child<QTimer>("Timer3")->isActive());
    EXPECT_TRUE(child<QComboBox>("Combo1")->isEnabled());
}

TEST_F(Form1SimulatorTest, HoldReachesTheScannerAndTheFocusStaysOnTheLogo) {
    Form1& form = start(kQuietScanner);
    click("Command2");
    for (int press = 1; press <= 2; ++press) {
        click("Command1");
        EXPECT_EQ(form.focusWidget(), child<QWidget>("Picture1"));
        EXPECT_TRUE(wait_for([&] { return logged("KEY,H,P\\r") == press; })) << press;
    }
}

TEST_F(Form1SimulatorTest, MinimisedTitleFollowsTheDisplay) {
    Form1& form = start(kQuietScanner);
    click("Command2");
    form.showMinimized();
    ASSERT_TRUE(form.isMinimized());
    EXPECT_TRUE(wait_for([&] { return form.windowTitle() == "State Net/North Ops"; }));
    form.showNormal();
    EXPECT_TRUE(wait_for([&] { return form.windowTitle() == "Taperly"; }));
}

}  // namespace
}  // namespace taperly
