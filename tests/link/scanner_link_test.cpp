#include "link/scanner_link.h"

#include <gtest/gtest.h>

#include "link/link_error.h"
#include "support/fakes.h"

namespace taperly {
namespace {

using testing::FakePort;

TEST(SendCommand, AddsOneCarriageReturnAndNothingElse) {
    FakePort port;
    send_command(port, "STS");
    press_e_key(port);
    EXPECT_EQ(port.written, "STS\rKEY,E,P\r");
}

TEST(OpenScannerPort, TakesPortAndSpeedFromTheListTexts) {
    FakePort port;
    open_scanner_port(port, "3", "57600");
    EXPECT_EQ(port.opened_port, 3);
    EXPECT_EQ(port.opened_speed, 57600);
    EXPECT_EQ(line_settings_from_text("57600").text, "57600,n,8,1");
    EXPECT_EQ(line_settings_from_text("9600").text, "9600,n,8,1");
}

struct PortText {
    const char* text;
    int number;
};

class PortNumber : public ::testing::TestWithParam<PortText> {};

TEST_P(PortNumber, IsTheLeadingNumberRoundedHalfToEven) {
    EXPECT_EQ(port_number_from_text(GetParam().text), GetParam().number);
}

INSTANTIATE_TEST_SUITE_P(Texts, PortNumber,
                         ::testing::Values(PortText{"1", 1}, PortText{"10", 10}, PortText{"2.5", 2},
                                           PortText{"3.5", 4}, PortText{"COM3", 0}, PortText{"", 0},
                                           PortText{"4 x", 4}, PortText{"99999", 0}));

TEST(OpenScannerPort, PortZeroOrNoNumberFailsAndLeavesThePortClosed) {
    for (const char* text : {"0", "COM1", ""}) {
        FakePort port;
        EXPECT_THROW(open_scanner_port(port, text, "9600"), LinkError) << text;
        EXPECT_FALSE(port.is_open());
    }
}

TEST(OpenScannerPort, SpeedThatNoLineRunsAtFails) {
    for (const char* text : {"", "fast", "-9600", "9600.5"}) {
        FakePort port;
        EXPECT_THROW(open_scanner_port(port, "1", text), LinkError) << text;
        EXPECT_FALSE(port.is_open());
    }
}

TEST(OpenScannerPort, ClosesAnOpenPortBeforeOpeningAgain) {
    FakePort port;
    open_scanner_port(port, "1", "9600");
    port.fail_open = true;
    EXPECT_THROW(open_scanner_port(port, "2", "9600"), LinkError);
    EXPECT_FALSE(port.is_open());
}

}  // namespace
}  // namespace taperly
