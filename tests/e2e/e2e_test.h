#pragma once

// What the end-to-end tests set up alike: the private sound server that
// must answer, and the scanner simulator reached as COM1.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "e2e/e2e_window.h"
#include "support/simulator_process.h"
#include "support/temp_folder.h"

namespace taperly::e2e {

// The fastest line speed: the replies take the least of a scenario's time.
inline constexpr int kFastSpeed = 57600;

class E2eTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sound_server_answers()) << "no test sound server: run through CTest";
    }

    // Starts the simulator with `settings`, reached as COM1.
    testing::SimulatorProcess& start(const testing::SimulatorSettings& settings) {
        simulator = std::make_unique<testing::SimulatorProcess>(settings);
        simulator->point_com_port(1);
        return *simulator;
    }
    testing::SimulatorProcess& start(const std::string& scenario,
                                     int bits_per_second = kFastSpeed) {
        testing::SimulatorSettings settings;
        settings.scenario = scenario;
        settings.bits_per_second = bits_per_second;
        return start(settings);
    }

    std::unique_ptr<testing::SimulatorProcess> simulator;
};

// For the window driver in a process of its own: a takes folder whose
// settings choose COM1 at the fastest speed, polled every 100 ms.
class DriverTest : public E2eTest {
  protected:
    void SetUp() override {
        E2eTest::SetUp();
        folder.write(kSettingsFile, "0\r\n3\r\n100\r\n");
    }

    testing::TempFolder folder;
};

}  // namespace taperly::e2e
