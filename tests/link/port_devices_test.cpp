#include "link/port_devices.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace taperly {
namespace {

struct DeviceCase {
    const char* name;
    int port_number;
    // The TAPERLY_COM<N> value; none: unset.
    std::optional<std::string> chosen;
    std::string device;
};

class SerialDevice : public ::testing::TestWithParam<DeviceCase> {
  protected:
    void TearDown() override { ::unsetenv(variable().c_str()); }
    std::string variable() const { return "TAPERLY_COM" + std::to_string(GetParam().port_number); }
};

TEST_P(SerialDevice, IsTheChosenDeviceOrTheSystemsName) {
    if (GetParam().chosen) {
        ::setenv(variable().c_str(), GetParam().chosen->c_str(), 1);
    } else {
        ::unsetenv(variable().c_str());
    }
    EXPECT_EQ(serial_device_for_port(GetParam().port_number), GetParam().device);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, SerialDevice,
    ::testing::Values(DeviceCase{"FirstPortUnset", 1, std::nullopt, "/dev/ttyS0"},
                      DeviceCase{"TenthPortUnset", 10, std::nullopt, "/dev/ttyS9"},
                      DeviceCase{"Chosen", 1, "/dev/ttyUSB0", "/dev/ttyUSB0"},
                      DeviceCase{"ChosenForAnotherNumber", 3, "/dev/pts/7", "/dev/pts/7"},
                      DeviceCase{"EmptyMeansUnset", 2, "", "/dev/ttyS1"},
                      DeviceCase{"NoPortZero", 0, "/dev/ttyUSB0", ""},
                      DeviceCase{"NoNegativePort", -1, std::nullopt, ""}),
    [](const ::testing::TestParamInfo<DeviceCase>& info) { return info.param.name; });

TEST(SerialDevice, OnePortsChoiceLeavesTheOthersAlone) {
    ::setenv("TAPERLY_COM1", "/dev/ttyUSB0", 1);
    ::unsetenv("TAPERLY_COM11");
    EXPECT_EQ(serial_device_for_port(11), "/dev/ttyS10");
    ::unsetenv("TAPERLY_COM1");
}

}  // namespace
}  // namespace taperly
