// The Windows serial port over a real COM port under Wine, with the scanner
// simulator behind COM1 (scripts/wine-with-scanner) and nothing behind COM9.
// The line's speed, the same as the simulator's, is given as --speed=BPS.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "link/link_error.h"
#include "link/windows_scanner_port.h"

namespace taperly {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

int line_speed = 9600;

// What the simulator answers during the scenario's heard moment.
const std::string kStatusReply =
    "STS,State Net       ,________________,North Ops       ,________________,"
    "                ,                ,,1,0,3,0\r";
const std::string kIdentityReply = "GID,TRK,0,0,State Net,North Area,Ops\r";
const std::string kQuietStatusReply =
    "STS,State Net       ,________________,SCAN            ,________________,"
    "                ,                ,,0,1,3,0\r";

bool turn_events_until(const std::function<bool()>& done, Clock::duration limit = 10s) {
    const auto until = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > until) {
            return false;
        }
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void turn_events_for(Clock::duration span) {
    turn_events_until([] { return false; }, span);
}

std::size_t replies_in(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\r'));
}

class WindowsSerialPort : public ::testing::Test {
  public:
    WindowsSerialPort() {
        port.on_input([this] {
            ++wake_ups;
            // Nothing may throw back into the event loop.
            try {
                received += port.read_pending_input();
            } catch (const LinkError& error) {
                read_errors.push_back(error.what());
            }
        });
    }

    std::string received;
    int wake_ups = 0;
    std::vector<std::string> read_errors;
    std::vector<std::string> losses;
    WindowsScannerPort port{[this](const std::string& reason) { losses.push_back(reason); }};
};

// Replies come back byte for byte and in order, first as a burst of
// commands and then polled as the poll cycle does; the adapter pulled mid-run
// is reported once and closes the port, and the port opens again once the
// device is back.
TEST_F(WindowsSerialPort, CarriesRepliesWholeReportsThePulledLineOnceAndOpensAgain) {
    port.open(1, line_speed);

    const std::size_t burst = 8;
    std::string commands;
    std::string expected;
    for (std::size_t reply = 0; reply < burst; ++reply) {
        commands += reply % 2 == 0 ? "STS\r" : "GID\r";
        expected += reply % 2 == 0 ? kStatusReply : kIdentityReply;
    }
    const auto burst_start = Clock::now();
    port.write(commands);
    ASSERT_TRUE(turn_events_until([&] { return received.size() >= expected.size(); }))
        << received.size() << " bytes came: " << received;
    const double burst_seconds = std::chrono::duration<double>(Clock::now() - burst_start).count();
    EXPECT_EQ(received, expected);
    std::printf(
        "[ measure  ] %d bit/s: %zu bytes in %.3f s (%.0f bytes/s), %d wake-ups (%.1f a "
        "reply)\n",
        line_speed, received.size(), burst_seconds,
        static_cast<double>(received.size()) / burst_seconds, wake_ups,
        static_cast<double>(wake_ups) / static_cast<double>(burst));

    // Polled as the poll cycle does: STS and GID in turn, one every 100 ms.
    received.clear();
    wake_ups = 0;
    int cycles = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        try {
            port.write(cycles++ % 2 == 0 ? "STS\r" : "GID\r");
        } catch (const LinkError& error) {
            ADD_FAILURE() << error.what();
            poll.stop();
        }
    });
    poll.start(100);
    const std::size_t polled_replies = 12;
    ASSERT_TRUE(turn_events_until([&] { return replies_in(received) >= polled_replies; }));
    poll.stop();
    std::string polled_expected;
    for (std::size_t reply = 0; reply < polled_replies; ++reply) {
        polled_expected += reply % 2 == 0 ? kStatusReply : kIdentityReply;
    }
    EXPECT_EQ(received.substr(0, polled_expected.size()), polled_expected);
    std::printf("[ measure  ] %d bit/s: %.1f wake-ups a poll cycle over %d cycles\n", line_speed,
                static_cast<double>(wake_ups) / cycles, cycles);

    // The scenario pulls the adapter while the port waits for its next byte.
    ASSERT_TRUE(turn_events_until([&] { return !losses.empty(); }, 15s));
    EXPECT_FALSE(port.is_open());
    EXPECT_NE(losses.front().find("COM1"), std::string::npos) << losses.front();
    EXPECT_NE(losses.front().find("went away"), std::string::npos) << losses.front();
    turn_events_for(300ms);
    EXPECT_EQ(losses.size(), 1u);
    EXPECT_TRUE(read_errors.empty()) << read_errors.front();
    EXPECT_THROW(port.write("STS\r"), LinkError);
    EXPECT_NO_THROW(port.close());

    // The simulator's new line takes the link's place a second later.
    std::string last_error;
    ASSERT_TRUE(turn_events_until(
        [&] {
            try {
                port.open(1, line_speed);
                return true;
            } catch (const LinkError& error) {
                last_error = error.what();
                turn_events_for(200ms);
                return false;
            }
        },
        15s))
        << last_error;
    received.clear();
    port.write("STS\r");
    ASSERT_TRUE(turn_events_until([&] { return received.size() >= kQuietStatusReply.size(); }));
    EXPECT_EQ(received, kQuietStatusReply);
    EXPECT_EQ(losses.size(), 1u);
}

// Nothing is behind COM9: the reason names the port, and the port stays shut.
TEST_F(WindowsSerialPort, PortWithNoDeviceDoesNotOpen) {
    try {
        port.open(9, line_speed);
        FAIL() << "COM9 opened";
    } catch (const LinkError& error) {
        EXPECT_NE(std::string(error.what()).find("COM9"), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("no such device"), std::string::npos)
            << error.what();
    }
    EXPECT_FALSE(port.is_open());
    EXPECT_THROW(port.write("STS\r"), LinkError);
    EXPECT_NO_THROW(port.close());
}

}  // namespace
}  // namespace taperly

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    for (int argument = 1; argument < argc; ++argument) {
        if (std::strncmp(argv[argument], "--speed=", 8) == 0) {
            taperly::line_speed = std::atoi(argv[argument] + 8);
        }
    }
    return RUN_ALL_TESTS();
}
