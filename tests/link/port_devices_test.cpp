#include "link/port_devices.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "support/environment.h"

namespace taperly {
namespace {

using testing::set_environment;
using testing::unset_environment;

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

struct DeviceCase {
    const char* name;
    int port_number;
    // The TAPERLY_COM<N> value; none: unset.
    std::optional<std::string> chosen;
    std::string device;
    // The device on Windows, where the system names its ports COM<N>.
    std::string windows_device;
};

class SerialDevice : public ::testing::TestWithParam<DeviceCase> {
  protected:
    void TearDown() override { unset_environment(variable()); }
    std::string variable() const { return "TAPERLY_COM" + std::to_string(GetParam().port_number); }
};

TEST_P(SerialDevice, IsTheChosenDeviceOrTheSystemsName) {
    if (GetParam().chosen) {
        set_environment(variable(), *GetParam().chosen);
    } else {
        unset_environment(variable());
    }
    EXPECT_EQ(serial_device_for_port(GetParam().port_number),
              kWindows ? GetParam().windows_device : GetParam().device);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, SerialDevice,
    ::testing::Values(DeviceCase{"FirstPortUnset", 1, std::nullopt, "/dev/ttyS0", "COM1"},
                      DeviceCase{"TenthPortUnset", 10, std::nullopt, "/dev/ttyS9", "COM10"},
                      DeviceCase{"Chosen", 1, "/dev/ttyUSB0", "/dev/ttyUSB0", "/dev/ttyUSB0"},
                      DeviceCase{"ChosenForAnotherNumber", 3, "/dev/pts/7", "/dev/pts/7",
                                 "/dev/pts/7"},
                      DeviceCase{"EmptyMeansUnset", 2, "", "/dev/ttyS1", "COM2"},
                      DeviceCase{"NoPortZero", 0, "/dev/ttyUSB0", "", ""},
                      DeviceCase{"NoNegativePort", -1, std::nullopt, "", ""}),
    [](const ::testing::TestParamInfo<DeviceCase>& info) { return info.param.name; });

TEST(SerialDevice, OnePortsChoiceLeavesTheOthersAlone) {
    set_environment("TAPERLY_COM1", "/dev/ttyUSB0");
    unset_environment("TAPERLY_COM11");
    EXPECT_EQ(serial_device_for_port(11), kWindows ? "COM11" : "/dev/ttyS10");
    unset_environment("TAPERLY_COM1");
}

}  // namespace
}  // namespace taperly
