// The serial adapter against the scanner simulator over a real
// pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/link_error.h"
#include "link/scanner_link.h"
#include "link/serial_scanner_port.h"
#include "support/simulator_process.h"
#include "support/temp_folder.h"
#include "tools/simulator/scanner_replies.h"
#include "tools/simulator/scenario.h"

namespace taperly {
namespace {

using namespace std::chrono_literals;
using testing::SimulatorProcess;
using testing::SimulatorSettings;

void ensure_application() {
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "serial_line_test";
        static char* argv[] = {name, nullptr};
        static QCoreApplication application(argc, argv);
    }
}

// One short turn of the event loop, as between two firings of a timer.
void turn_event_loop() {
    QEventLoop loop;
    QTimer::singleShot(5, &loop, &QEventLoop::quit);
    loop.exec();
}

double process_cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& time) { return time.tv_sec + time.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class SerialLine : public ::testing::Test {
  public:
    SerialLine() { ensure_application(); }

    void start_simulator(const std::string& scenario, int bits_per_second = 9600) {
        SimulatorSettings settings;
        settings.scenario = scenario;
        settings.bits_per_second = bits_per_second;
        simulator = std::make_unique<SimulatorProcess>(settings);
        simulator->point_com_port(1);
    }

    template <typename Condition>
    bool wait_with_events(Condition condition, std::chrono::milliseconds limit = 10s) {
        return testing::wait_until(condition, limit, turn_event_loop);
    }

    std::unique_ptr<SimulatorProcess> simulator;
    // Another program's hold on the line, for the test that needs one.
    std::unique_ptr<SerialScannerPort> other_port;
    std::vector<std::string> losses;
    SerialScannerPort port{[this](const std::string& reason) { losses.push_back(reason); }};
};

TEST_F(SerialLine, SendsEachCommandAsItsBytesWithOneCarriageReturn) {
    start_simulator("30 | State Net | SCAN | no\n");
    port.open(1, 9600);
    send_command(port, "STS");
    press_e_key(port);
    ASSERT_TRUE(wait_with_events([&] { return simulator->logged_commands().size() >= 2; }));
    // The log escapes every byte, so "STS\r" is exactly 53 54 53 0D.
    EXPECT_EQ(simulator->logged_commands(), (std::vector<std::string>{"STS\\r", "KEY,E,P\\r"}));
}

// Bytes that have reached the system count at once, without the event loop
// having run, and one read takes all of them; bytes a terminal would take for
// editing, signals or flow control pass unchanged.
TEST_F(SerialLine, HandsOverEveryWaitingByteUnchangedInOneRead) {
    start_simulator(
        "raw A\\0\\x7F\\x08\\x15\\x04\\x17\\x16\\x12\\x03\\x1A\\x1C\\x11\\x13\\xFFB\\r\n"
        "30 | State Net | SCAN | no\n");
    port.open(1, 9600);
    press_e_key(port);
    const std::string expected = std::string(
                                     "A\0\x7F\x08\x15\x04\x17\x16\x12\x03\x1A\x1C\x11\x13\xFF"
                                     "B\r",
                                     17) +
                                 "KEY,OK\r";
    ASSERT_TRUE(testing::wait_until(
        [&] { return port.pending_input_count() >= static_cast<int>(expected.size()); }, 10s))
        << "waiting: " << port.pending_input_count();
    EXPECT_EQ(port.read_pending_input(), expected);
    EXPECT_EQ(port.pending_input_count(), 0);
    EXPECT_EQ(port.read_pending_input(), "");
}

// Polled like the poll cycle does, from a timer every 100 ms, at 9600 bit/s
// replies arrive in pieces; put back together they are exactly what the
// scanner sent, in order.
TEST_F(SerialLine, TimerPollingReceivesEveryReplyWholeAndInOrder) {
    start_simulator("60 | State Net | North Ops | yes | State Net | North Area | Ops | once\n");
    port.open(1, 9600);
    std::string received;
    int firing = 0;
    int reads_ending_mid_reply = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        // Nothing may throw through the event loop.
        try {
            send_command(port, firing++ % 2 == 0 ? "STS" : "GID");
            if (port.pending_input_count() != 0) {
                received += port.read_pending_input();
                reads_ending_mid_reply += received.back() != '\r';
            }
        } catch (const LinkError& error) {
            ADD_FAILURE() << error.what();
            poll.stop();
        }
    });
    poll.start(100);
    const std::size_t replies = 8;
    ASSERT_TRUE(wait_with_events([&] {
        return static_cast<std::size_t>(std::count(received.begin(), received.end(), '\r')) >=
               replies;
    }));
    poll.stop();

    sim::Moment moment;
    moment.line1 = "State Net";
    moment.line2 = "North Ops";
    moment.heard = true;
    moment.identity = {"State Net", "North Area", "Ops", "TRK", "0", true};
    std::string expected;
    for (std::size_t reply = 0; reply < replies; ++reply) {
        expected += reply % 2 == 0 ? sim::status_reply(moment)
                    : reply == 1   ? sim::identity_reply(moment.identity)
                                   : sim::empty_identity_reply();
    }
    EXPECT_EQ(received.substr(0, expected.size()), expected);
    std::printf("[ measure  ] %d of the reads ended inside a reply\n", reads_ending_mid_reply);
}

// A reply held back wakes nobody and cannot be read; once waking is asked for
// again it comes, whole and before it, with the next reply that ends.
TEST_F(SerialLine, HeldReplyComesWithTheNextOneAndWakesNobody) {
    start_simulator("60 | State Net | North Ops | yes | State Net | North Area | Ops | once\n");
    port.open(1, 9600);
    std::string received;
    int announced = 0;
    port.on_input([&] {
        ++announced;
        received += port.read_pending_input();
    });
    port.wake_at_reply_end(false);
    send_command(port, "GID");
    // The identity reply takes some 80 ms at 9600 bit/s.
    ASSERT_TRUE(wait_with_events([&] { return !simulator->logged_commands().empty(); }));
    wait_with_events([] { return false; }, 400ms);
    EXPECT_EQ(announced, 0);
    EXPECT_EQ(port.pending_input_count(), 0);

    port.wake_at_reply_end(true);
    send_command(port, "STS");
    ASSERT_TRUE(wait_with_events([&] { return !received.empty(); }));
    sim::Moment moment;
    moment.line1 = "State Net";
    moment.line2 = "North Ops";
    moment.heard = true;
    moment.identity = {"State Net", "North Area", "Ops", "TRK", "0", true};
    EXPECT_EQ(received, sim::identity_reply(moment.identity) + sim::status_reply(moment));
    EXPECT_EQ(announced, 1);
}

struct OpenFailure {
    const char* name;
    // Points COM1 at the device to try and returns its path.
    std::function<std::string(SerialLine&, testing::TempFolder&)> prepare;
    int bits_per_second;
    std::vector<std::string> reason;
};

class FailedOpen : public SerialLine, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(FailedOpen, NamesPortDeviceAndReasonAndLeavesThePortClosed) {
    testing::TempFolder folder;
    const std::string device = GetParam().prepare(*this, folder);
    try {
        port.open(1, GetParam().bits_per_second);
        FAIL() << "the port opened";
    } catch (const LinkError& error) {
        const std::string message = error.what();
        EXPECT_TRUE(contains(message, "COM1")) << message;
        EXPECT_TRUE(contains(message, device)) << message;
        for (const std::string& word : GetParam().reason) {
            EXPECT_TRUE(contains(message, word)) << message;
        }
    }
    EXPECT_FALSE(port.is_open());
    EXPECT_THROW(port.write("STS\r"), LinkError);
    EXPECT_THROW(port.read_pending_input(), LinkError);
    EXPECT_NO_THROW(port.close());
}

std::string point_at(const std::string& device) {
    ::setenv("TAPERLY_COM1", device.c_str(), 1);
    return device;
}

INSTANTIATE_TEST_SUITE_P(
    Devices, FailedOpen,
    ::testing::Values(OpenFailure{"Missing",
                                  [](SerialLine&, testing::TempFolder& folder) {
                                      return point_at(folder.file("ttyUSB9"));
                                  },
                                  9600,
                                  {"no such device"}},
                      OpenFailure{"PlainFile",
                                  [](SerialLine&, testing::TempFolder& folder) {
                                      folder.write("not-a-tty", "STS\r");
                                      return point_at(folder.file("not-a-tty"));
                                  },
                                  9600,
                                  {"not a serial device"}},
                      OpenFailure{"HeldByAnotherPort",
                                  [](SerialLine& test, testing::TempFolder&) {
                                      test.start_simulator("30 | State Net | SCAN | no\n");
                                      test.other_port = std::make_unique<SerialScannerPort>(
                                          [](const std::string&) {});
                                      test.other_port->open(1, 9600);
                                      return test.simulator->slave_path();
                                  },
                                  9600,
                                  {"in use by another program"}},
                      OpenFailure{"SpeedZero",
                                  [](SerialLine& test, testing::TempFolder&) {
                                      test.start_simulator("30 | State Net | SCAN | no\n");
                                      return test.simulator->slave_path();
                                  },
                                  0,
                                  {"0 bit/s"}}),
    [](const ::testing::TestParamInfo<OpenFailure>& info) { return info.param.name; });

TEST_F(SerialLine, LostLineIsReportedOnceClosesThePortAndDoesNotSpin) {
    start_simulator("0.3 | State Net | SCAN | no\nclose\n");
    port.open(1, 9600);
    send_command(port, "STS");
    ASSERT_TRUE(wait_with_events([&] { return !losses.empty(); }));
    EXPECT_TRUE(contains(losses.front(), "COM1")) << losses.front();
    EXPECT_TRUE(contains(losses.front(), simulator->slave_path())) << losses.front();
    EXPECT_FALSE(port.is_open());

    // A closed port costs nothing; one left open after the loss would have
    // the event loop take its error again and again at full speed.
    const double cpu_before = process_cpu_seconds();
    const auto wall_before = std::chrono::steady_clock::now();
    QEventLoop loop;
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_before).count();
    const double share = (process_cpu_seconds() - cpu_before) / wall;
    std::printf("[ measure  ] after the loss the test process used %.1f%% of one core\n",
                share * 100);
    EXPECT_LT(share, 0.20);

    EXPECT_EQ(losses.size(), 1u);
    EXPECT_THROW(send_command(port, "STS"), LinkError);
    EXPECT_THROW(port.pending_input_count(), LinkError);
    EXPECT_NO_THROW(port.close());
    EXPECT_NO_THROW(port.close());
    EXPECT_EQ(simulator->wait_for_exit(5s), 0) << simulator->error_output();
}

// The same port object opens again after a loss, on a fresh line.
TEST_F(SerialLine, OpensAgainAfterALostLine) {
    start_simulator("0.2 | State Net | SCAN | no\nclose\n");
    port.open(1, 9600);
    send_command(port, "STS");
    ASSERT_TRUE(wait_with_events([&] { return !losses.empty(); }));
    start_simulator("30 | State Net | SCAN | no\n");
    port.open(1, 9600);
    ASSERT_TRUE(port.is_open());
    press_e_key(port);
    ASSERT_TRUE(wait_with_events([&] { return port.pending_input_count() >= 7; }));
    EXPECT_EQ(port.read_pending_input(), "KEY,OK\r");
    EXPECT_EQ(losses.size(), 1u);
}

// A program that sends and never reads fills the line's buffers; the
// simulator must go on taking in (and logging) commands all the same.
TEST_F(SerialLine, SimulatorKeepsListeningWhileNobodyReads) {
    start_simulator("30 | State Net | SCAN | no\n", 100000000);
    const int line = ::open(simulator->slave_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(line, 0);
    // Each round's replies fill the simulator's queue; all rounds together
    // are more than the system's buffers of the line hold.
    const std::size_t per_round = 1000;
    const std::size_t rounds = 6;
    std::string round;
    for (std::size_t count = 0; count < per_round; ++count) {
        round += "STS\r";
    }
    std::size_t sent_rounds = 0;
    for (; sent_rounds < rounds; ++sent_rounds) {
        std::string pending = round;
        const bool sent = testing::wait_until(
            [&] {
                const ssize_t written = ::write(line, pending.data(), pending.size());
                if (written > 0) {
                    pending.erase(0, static_cast<std::size_t>(written));
                }
                return pending.empty();
            },
            10s);
        const std::size_t expected = (sent_rounds + 1) * per_round;
        const bool logged = testing::wait_until(
            [&] { return simulator->logged_commands().size() == expected; }, 10s);
        if (!sent || !logged) {
            break;
        }
    }
    ::close(line);
    EXPECT_EQ(sent_rounds, rounds) << simulator->logged_commands().size() << " commands logged";
    EXPECT_FALSE(simulator->exit_status().has_value()) << simulator->error_output();
}

}  // namespace
}  // namespace taperly
