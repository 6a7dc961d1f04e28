// taperly-demo: Taperly's real window against the scanner simulator. It
// chooses COM port 1 and a speed and presses Run through the window's own
// widgets, lets a scenario play, presses Stop and reports the takes saved.
// See README.md, "Demo", and --help.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>

#include "app/artwork.h"
#include "app/form1.h"
#include "app/real_parts.h"
#include "tools/demo/demo_options.h"
#include "tools/demo/demo_plan.h"
#include "tools/demo/demo_report.h"
#include "tools/demo/take_watch.h"
#include "tools/launch/simulator_child.h"

namespace taperly::demo {
namespace {

int signal_pipe[2] = {-1, -1};

void on_signal(int number) {
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const auto written = ::write(signal_pipe[1], &byte, 1);
}

// Ctrl-C and SIGTERM end the demo through the event loop, so the window
// closes, the simulator is stopped and nothing is left half done.
void catch_stop_signals(bool& stop_asked) {
    if (::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [&stop_asked] {
        char byte;
        while (::read(signal_pipe[0], &byte, 1) > 0) {
        }
        stop_asked = true;
        QApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// Runs the event loop until `condition` holds; false when `limit` passed
// first or a stop was asked for.
bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds limit,
                const bool& stop_asked) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (stop_asked || std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

std::string read_file(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw sim::ScenarioError("cannot be read");
    }
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Chooses `text` in a list as a click and a choice would, reaching the
// window's handler through the list's own signal.
bool choose(QComboBox* list, const QString& text) {
    const int index = list->findText(text);
    if (index < 0 || !list->isEnabled()) {
        return false;
    }
    list->setCurrentIndex(index);
    emit list->activated(index);
    return true;
}

template <typename Widget>
Widget* widget(QWidget& form, const char* name) {
    auto* found = form.findChild<Widget*>(name);
    if (found == nullptr) {
        throw std::runtime_error(std::string("the window has no ") + name);
    }
    return found;
}

class Demo {
  public:
    Demo(DemoOptions options, DemoPlan plan)
        : options_(std::move(options)), plan_(std::move(plan)) {}

    int run();

  private:
    int fail(const std::string& why) {
        std::cout << "demo FAILED: " << why << "\n";
        return 1;
    }
    std::string status() const { return status_->text().toStdString(); }
    // The mirror's lines without the blanks the scanner pads them with.
    std::string mirror() const {
        QStringList lines = mirror_->toPlainText().split(u'\n');
        for (QString& line : lines) {
            while (line.endsWith(u' ')) {
                line.chop(1);
            }
        }
        return lines.join(u'\n').toStdString();
    }
    void follow_takes(Form1& form, TakeWatch& watch);

    DemoOptions options_;
    DemoPlan plan_;
    bool stop_asked_ = false;
    QLineEdit* status_ = nullptr;
    QPlainTextEdit* mirror_ = nullptr;
};

void Demo::follow_takes(Form1& form, TakeWatch& watch) {
    const bool was_recording = watch.take_in_progress();
    watch.look(form.run_control().tracker().state());
    if (!was_recording && watch.take_in_progress()) {
        std::cout << "  call heard: recording\n" << std::flush;
    } else if (was_recording && !watch.take_in_progress()) {
        std::cout << "  call over:  " << watch.takes().back().name << "\n" << std::flush;
    }
}

int Demo::run() {
    catch_stop_signals(stop_asked_);
    QTemporaryDir scratch;
    const std::string command_log = scratch.filePath("commands.log").toStdString();
    launch::SimulatorStart start;
    start.executable = options_.simulator;
    start.scenario_path = options_.scenario;
    start.bits_per_second = options_.speed;
    start.log_path = command_log;
    start.error_path = scratch.filePath("simulator.txt").toStdString();
    // Left open, the window goes on following a scanner that keeps busy.
    start.loop = options_.stay;
    // The demo's Ctrl-C is for the driver, which ends the simulator itself.
    start.ignore_interrupt = true;
    launch::SimulatorChild simulator(start);
    ::setenv("TAPERLY_COM1", simulator.line_path().c_str(), 1);
    std::cout << "Taperly demo\n  scanner simulator on " << simulator.line_path() << " playing "
              << options_.scenario << " (" << plan_.total_seconds << " s)\n";

    // The window exactly as the taperly program builds it, over a folder of its own.
    Form1 form(make_real_parts(options_.takes, QString::fromStdString(options_.help_page)));
    form.show();
    status_ = widget<QLineEdit>(form, "Text3");
    mirror_ = widget<QPlainTextEdit>(form, "Text1");
    auto* run_button = widget<QPushButton>(form, "Command2");

    if (!choose(widget<QComboBox>(form, "Combo1"), "1")) {
        return fail("COM port 1 cannot be chosen; the status line says \"" + status() + "\"");
    }
    if (!choose(widget<QComboBox>(form, "Combo2"), QString::number(options_.speed))) {
        return fail("the speed " + std::to_string(options_.speed) +
                    " cannot be chosen; the status line says \"" + status() + "\"");
    }
    if (!run_button->isEnabled()) {
        return fail("Run stays disabled; the status line says \"" + status() + "\"");
    }
    TakeWatch watch(plan_, options_.takes);
    QObject::connect(widget<QTimer>(form, "Timer1"), &QTimer::timeout, &form,
                     [&] { follow_takes(form, watch); });

    QTest::mouseClick(run_button, Qt::LeftButton);
    if (run_button->text() != "Stop") {
        return fail("Run did not start; the status line says \"" + status() + "\"");
    }
    std::cout << "  COM port 1 at " << options_.speed << " bit/s: Run pressed\n" << std::flush;

    const auto unpadded = [](std::string line) {
        line.erase(line.find_last_not_of(' ') + 1);
        return line;
    };
    const std::string last_display =
        unpadded(plan_.last_line1) + "\n" + unpadded(plan_.last_line2) + "\n";
    const auto limit = std::chrono::milliseconds(static_cast<int>(plan_.total_seconds * 1000)) +
                       std::chrono::seconds(20);
    const bool played = wait_until(
        [&] {
            return (mirror() == last_display && !watch.take_in_progress()) ||
                   run_button->text() != "Stop";
        },
        limit, stop_asked_);
    if (stop_asked_) {
        std::cout << "demo stopped\n";
        return 130;
    }
    if (run_button->text() != "Stop") {
        return fail("the run ended by itself: \"" + status() + "\"");
    }
    QTest::mouseClick(run_button, Qt::LeftButton);
    follow_takes(form, watch);
    std::cout << "  " << (played ? "scenario over" : "scenario NOT OVER in time")
              << ": Stop pressed; the status line says \"" << status() << "\"\n";

    const std::vector<std::string> wrong = report_takes(
        std::cout, plan_, watch.takes(), options_.takes, count_prompt_answers(command_log));
    const bool shot = form.grab().save(QString::fromStdString(options_.screenshot), "PNG");
    std::cout << "Takes folder: " << options_.takes << "\n"
              << "Screenshot:   " << (shot ? options_.screenshot : "could not be saved") << "\n";

    std::vector<std::string> problems = watch.problems();
    problems.insert(problems.end(), wrong.begin(), wrong.end());
    if (!played) {
        problems.push_back("the scenario's last moment never showed in the mirror");
    }
    if (run_button->text() != "Run") {
        problems.push_back("Stop did not end the run");
    }
    for (const std::string& problem : problems) {
        std::cout << "problem: " << problem << "\n";
    }
    std::cout << (problems.empty() ? "demo OK\n" : "demo FAILED\n") << std::flush;

    if (options_.stay && !stop_asked_) {
        QTest::mouseClick(run_button, Qt::LeftButton);
        std::cout << "The window stays open, running on the simulator: press Hold and watch "
                     "the mirror. Close it or press Ctrl-C to end.\n"
                  << std::flush;
        QApplication::exec();
    }
    return problems.empty() ? 0 : 1;
}

// A takes folder the demo made is emptied at each start; any other folder
// must be empty, so that the demo never deletes a person's files.
bool prepare_takes_folder(const std::string& folder) {
    namespace fs = std::filesystem;
    const fs::path sign = fs::path(folder) / ".taperly-demo-takes";
    std::error_code error;
    if (fs::exists(folder) && !fs::is_empty(folder) && !fs::exists(sign)) {
        std::cerr << "taperly-demo: " << folder
                  << " holds files the demo did not make; give an empty or new folder\n";
        return false;
    }
    fs::remove_all(folder, error);
    fs::create_directories(folder, error);
    std::ofstream(sign) << "Made by taperly-demo, which empties this folder at each start.\n";
    if (error || !fs::exists(sign)) {
        std::cerr << "taperly-demo: cannot make " << folder << "\n";
        return false;
    }
    return true;
}

}  // namespace
}  // namespace taperly::demo

int main(int argc, char* argv[]) {
    using namespace taperly::demo;
    QApplication application(argc, argv);
    QApplication::setApplicationName("Taperly");
    QApplication::setWindowIcon(taperly::window_icon());

    std::vector<std::string> arguments;
    for (const QString& argument : QApplication::arguments().mid(1)) {
        arguments.push_back(argument.toStdString());
    }
    DemoOptions options;
    try {
        options = parse_demo_options(arguments);
    } catch (const std::invalid_argument& error) {
        std::cerr << "taperly-demo: " << error.what() << "\n" << kDemoUsage;
        return 2;
    }
    if (options.help) {
        std::cout << kDemoUsage;
        return 0;
    }
    DemoPlan plan;
    try {
        plan = plan_demo(taperly::sim::parse_scenario(read_file(options.scenario)));
    } catch (const taperly::sim::ScenarioError& error) {
        std::cerr << "taperly-demo: " << options.scenario << ": " << error.what() << "\n";
        return 2;
    }
    if (!prepare_takes_folder(options.takes)) {
        return 2;
    }
    try {
        return Demo(options, plan).run();
    } catch (const std::exception& error) {
        std::cout << "demo FAILED: " << error.what() << "\n";
        return 1;
    }
}
