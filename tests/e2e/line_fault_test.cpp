// The serial line in trouble while the real window runs: it is pulled
// mid-take, the scanner falls silent or speaks at another speed, or the line
// carries what no scanner of this family sends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "e2e/e2e_test.h"

namespace taperly::e2e {
namespace {

using testing::SimulatorSettings;
using testing::TempFolder;

constexpr int kSpeed = kFastSpeed;

std::vector<std::string> sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

class LineFaults : public E2eTest {
  protected:
    TempFolder folder;
};

// A USB adapter pulled mid-take and plugged back 3 s later comes back as
// another device behind the same /dev/serial/by-id/ style link.
TEST_F(LineFaults, UnpluggedMidTakeSavesTheTakeAndRecordsAgainOnceBack) {
    SimulatorSettings settings;
    settings.scenario =
        "0.4 | State Net | SCAN | no\n"
        "1.2 | State Net | North Ops | yes | State Net | North | Lost\n"
        "unplug 3\n"
        "0.6 | State Net | SCAN | no\n"
        "1.0 | State Net | North Ops | yes | State Net | North | Back\n"
        "0.6 | State Net | SCAN | no\n"
        "unplug 60\n";
    settings.bits_per_second = kSpeed;
    settings.link_path = folder.file("by-id-scanner");
    start(settings);
    TempFolder takes;
    E2eWindow window(takes.path(), kSpeed);
    window.click_run_stop();
    window.time.set(on_test_day(10, 0, 0));
    ASSERT_TRUE(E2eWindow::wait_for([&] { return window.take_in_progress(); }));
    window.time.set(on_test_day(10, 0, 2));
    ASSERT_TRUE(E2eWindow::wait_for([&] { return window.status() == "Line lost, trying again"; }))
        << window.status();
    EXPECT_EQ(window.caption(), "Stop");
    EXPECT_EQ(window.status_detail().rfind("The serial line on COM1 (" + settings.link_path, 0), 0u)
        << window.status_detail();
    const std::string lost = "State-Net_North_Lost_10-00-00-AM_10-00-02-AM_12-05-2026.wav";
    ASSERT_EQ(takes.names(), sorted({kSettingsFile, kTakesLog, lost}));
    const TakeSound kept = measure_take(takes.file(lost));
    std::printf("%.3f s kept of a take cut by the line after 1.2 s\n", kept.seconds);
    // Its start is seen late by up to a poll cycle and the sound input takes a
    // moment to start; losing what was recorded would leave far less or none.
    EXPECT_GT(kept.seconds, 0.6) << "recorded sound was lost";
    EXPECT_NEAR(kept.frequency, kToneHz, kToneHz * 0.02);

    // Back without a click: the next call is recorded.
    ASSERT_TRUE(window.follow_take(on_test_day(10, 0, 5), on_test_day(10, 0, 6)))
        << window.status();
    const std::string back = "State-Net_North_Back_10-00-05-AM_10-00-06-AM_12-05-2026.wav";
    EXPECT_EQ(takes.names(), sorted({kSettingsFile, kTakesLog, back, lost}));
    EXPECT_NEAR(measure_take(takes.file(back)).frequency, kToneHz, kToneHz * 0.02);
    EXPECT_NE(simulator->error_output().find("the line is back on /dev/pts/"), std::string::npos);

    // Pulled again for good: Stop ends the run while it is being tried.
    ASSERT_TRUE(E2eWindow::wait_for([&] { return window.status() == "Line lost, trying again"; }));
    window.click_run_stop();
    EXPECT_EQ(window.caption(), "Run");
    EXPECT_EQ(window.status(), "Waiting");
    EXPECT_FALSE(window.form().port().is_open());
}

// A scanner paused mid-call: the take ends once the silence is named, with
// what was heard and the silence up to then, not when the scanner is back.
TEST_F(LineFaults, ScannerPausedMidTakeEndsItWithinTheLimit) {
    start(
        "0.4 | State Net | SCAN | no\n"
        "1.0 | State Net | North Ops | yes | State Net | North | Paused\n"
        "silent 8\n"
        "30 | State Net | North Ops | yes | State Net | North | Paused\n");
    E2eWindow window(folder.path(), kSpeed);
    window.click_run_stop();
    window.time.set(on_test_day(10, 0, 0));
    ASSERT_TRUE(E2eWindow::wait_for([&] { return window.take_in_progress(); }));
    window.time.set(on_test_day(10, 0, 3));
    ASSERT_TRUE(E2eWindow::wait_for([&] { return !window.take_in_progress(); }));
    EXPECT_TRUE(E2eWindow::wait_for([&] { return window.status() == "Scanner does not answer"; }))
        << window.status();
    window.time.set(on_test_day(10, 0, 20));
    const std::string paused = "State-Net_North_Paused_10-00-00-AM_10-00-03-AM_12-05-2026.wav";
    ASSERT_EQ(folder.names(), sorted({kSettingsFile, kTakesLog, paused}));
    const TakeSound kept = measure_take(folder.file(paused));
    std::printf("%.3f s in the take of a 1 s call paused for 8 s\n", kept.seconds);
    // The call, then no more than the silence it takes to name the scanner.
    EXPECT_GT(kept.seconds, 2.0);
    EXPECT_LT(kept.seconds, 1.0 + 2.0 + duration_bound_seconds(kSpeed) + 0.3);
    window.click_run_stop();
}

struct QuietCase {
    const char* name;
    // What the scanner does for 5 s after a quiet start, and the message.
    std::string fault;
    std::string message;
    std::string detail_part;
};

class QuietScanner : public LineFaults, public ::testing::WithParamInterface<QuietCase> {};

// A scanner switched off or set to another remote speed is named while it
// lasts, polling goes on, and the first reply that can be read clears it.
TEST_P(QuietScanner, IsNamedUntilItAnswersAgain) {
    const QuietCase& c = GetParam();
    start("0.5 | State Net | SCAN | no\n" + c.fault + "speed 57600\n60 | State Net | SCAN | no\n");
    E2eWindow window(folder.path(), kSpeed);
    window.click_run_stop();
    ASSERT_TRUE(E2eWindow::wait_for([&] { return window.status() == "Waiting"; }));
    ASSERT_TRUE(E2eWindow::wait_for([&] { return window.status() == c.message; }))
        << window.status();
    EXPECT_NE(window.status_detail().find(c.detail_part), std::string::npos)
        << window.status_detail();
    const auto polls = simulator->logged_commands().size();
    ASSERT_TRUE(E2eWindow::wait_for([&] { return window.status() == "Waiting"; }))
        << window.status();
    EXPECT_GT(simulator->logged_commands().size(), polls + 10) << "polling went on";
    EXPECT_EQ(window.caption(), "Stop");
}

INSTANTIATE_TEST_SUITE_P(
    Faults, QuietScanner,
    ::testing::Values(QuietCase{"switched_off", "silent 5\n0.1 | State Net | SCAN | no\n",
                                "Scanner does not answer", "COM1 ("},
                      QuietCase{"wrong_remote_speed", "speed 9600\n5 | State Net | SCAN | no\n",
                                "Replies cannot be read", "remote speed is 57600 bit/s"}),
    [](const auto& info) { return std::string(info.param.name); });

// Every byte of `bytes` as an escape the simulator's raw step reads.
std::string escaped(const std::string& bytes) {
    std::string text;
    for (const char c : bytes) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(c));
        text += escape;
    }
    return text;
}

std::string raw(const std::string& bytes) {
    return "raw " + escaped(bytes) + "\n";
}

// A name is safe when every file system and player takes it as it is.
std::string unsafe_part(const std::string& name) {
    if (name.empty() || name.front() == '.' || name.size() > 255) {
        return "its length or leading dot";
    }
    if (name.size() < 4 || name.compare(name.size() - 4, 4, ".wav") != 0) {
        return "its ending";
    }
    for (std::size_t at = 0; at < name.size(); ++at) {
        const auto byte = static_cast<unsigned char>(name[at]);
        if (byte < 32 || byte == 127 ||
            std::string("/\\:*?\"").find(name[at]) != std::string::npos) {
            return "the byte at " + std::to_string(at);
        }
        if (byte >= 128) {
            // Latin-1 becomes two-byte UTF-8: a lead byte and one follower.
            const bool lead = byte == 0xC2 || byte == 0xC3;
            if (!lead || at + 1 == name.size() ||
                (static_cast<unsigned char>(name[at + 1]) & 0xC0) != 0x80) {
                return "broken UTF-8 at " + std::to_string(at);
            }
            ++at;
        }
    }
    return {};
}

TEST_F(LineFaults, BadInputLeavesEveryFiringWholeAndEveryNameSafe) {
    std::string burst;
    while (burst.size() < 4096) {
        burst += std::string("STS,GID,\xff\x00\x7f,", 12);
    }
    std::string split;
    for (const char c : std::string("STS,Split Reply     ,________________,Part            ,"
                                    "________________,,,,1,0,3,0\r")) {
        split += raw(std::string(1, c));
    }
    const std::string scenario =
        "0.4 | State Net | SCAN | no\n" + raw("\x01\x02garbage\x7f\r") +
        raw(std::string("\0\0\0\r\0STS\0\0,0\r", 14)) + raw("\x80\xff\xfeSTS,\xe9\r") + raw(burst) +
        // Which 1024 bytes of the burst are kept depends on how the line
        // chunked it, and they may make a whole identity reply; a status
        // reply without reception clears its names, as between any takes.
        raw("\r") + raw("STS,State Net,________________,SCAN,________________,,,,1,1,3,0\r") +
        split +
        raw("STS,Other/Mo:del*?,________________,Big\\Text\"<>,________________,,,,1,0,3,0,"
            "X,Y,Z,9\r") +
        "0.4 | State Net | SCAN | no\n"
        "1.0 | Fire, EMS | Zone 1,2 | yes\n"
        "0.4 | State Net | SCAN | no\n"
        "0.5 | Caf\xe9 | Ops | yes\n" +
        raw(std::string("GID,TRK,0,0,Sy\x01s/x,Gr\0p,T:g\xff,more,fields\r", 38)) +
        "0.6 | Caf\xe9 | Ops | yes\n"
        "0.6 | State Net | SCAN | no\n";
    start(scenario);
    E2eWindow window(folder.path(), kSpeed);
    window.click_run_stop();
    // The scenario lasts under 4 s; 60 polls is six seconds of them.
    ASSERT_TRUE(E2eWindow::wait_for([&] { return simulator->logged_commands().size() >= 60; }));
    ASSERT_TRUE(E2eWindow::wait_for([&] { return !window.take_in_progress(); }));
    EXPECT_EQ(window.caption(), "Stop") << window.status();
    EXPECT_EQ(window.mirror(), "State Net       \nSCAN            \n");
    window.click_run_stop();

    const std::vector<std::string> commands = simulator->logged_commands();
    for (std::size_t at = 0; at < commands.size(); ++at) {
        ASSERT_EQ(commands[at], at % 2 == 0 ? "STS\\r" : "GID\\r") << "poll " << at;
    }

    const std::vector<std::string> names = folder.names();
    for (const std::string& name : names) {
        if (name != kSettingsFile && name != kTakesLog) {
            EXPECT_EQ(unsafe_part(name), "") << name;
        }
    }
    const auto starting = [&](const std::string& prefix) {
        return std::count_if(names.begin(), names.end(),
                             [&](const std::string& name) { return name.rfind(prefix, 0) == 0; });
    };
    EXPECT_EQ(starting("Sy-s-x_Gr-p_T-g\xc3\xbf_"), 1) << "the take named by the raw identity";
    // The other model's reply follows it at once, so both are one take.
    EXPECT_EQ(starting("Split-Reply_Other-Mo-del--_Part_"), 1)
        << "the reply that came a byte at a time";
    EXPECT_EQ(temporary_takes(names), std::vector<std::string>{});
    for (const std::string& name : names) {
        std::printf("  saved: %s\n", name.c_str());
    }
}

}  // namespace
}  // namespace taperly::e2e
