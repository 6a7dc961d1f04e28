#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "recorder/fake_input.h"
#include "recorder/recorder_orders.h"
#include "recorder/takes/wave_file_writer.h"
#include "recorder/wave_recorder.h"
#include "recorder/wave_test_support.h"
#include "support/temp_folder.h"

namespace taperly {

// A recorder over a fake input, writing takes into a folder of its own.
class WaveRecorderTest : public ::testing::Test {
  protected:
    WaveRecorderTest() {
        auto owned_input = std::make_unique<testing::FakeInput>();
        input = owned_input.get();
        recorder = std::make_unique<WaveRecorder>(std::move(owned_input),
                                                  std::make_unique<WaveFileWriter>(folder.path()));
    }

    void finish_take(const std::string& name) {
        recorder->Command("stop");
        recorder->setFileName(name);
        recorder->Command("save");
        recorder->Command("close");
    }
    std::vector<std::int16_t> saved(const std::string& name) const {
        auto wave = testing::read_wave(folder.file(name));
        EXPECT_TRUE(wave.readable) << name;
        EXPECT_EQ(wave.sample_rate, 22050);
        EXPECT_EQ(wave.channels, 1);
        return wave.samples;
    }

    testing::TempFolder folder;
    testing::FakeInput* input = nullptr;
    std::unique_ptr<WaveRecorder> recorder;
};

}  // namespace taperly
