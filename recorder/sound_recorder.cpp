#include "recorder/sound_recorder.h"

#include <chrono>
#include <cstdlib>
#include <string_view>

#include "recorder/capture/make_audio_input.h"
#include "recorder/take_format_choice.h"
#include "recorder/takes/native_file.h"
#include "recorder/takes/wave_file_writer.h"
#include "recorder/wave_recorder.h"

namespace taperly {

namespace {

PreRollSettings pre_roll_settings() {
    const char* setting = std::getenv("TAPERLY_PREROLL");
    PreRollSettings settings;
    settings.enabled = setting == nullptr || std::string_view(setting) != "0";
    settings.margin = kPreRollMargin;
    settings.now = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    };
    return settings;
}

}  // namespace

std::unique_ptr<RecorderControl> make_sound_recorder(const std::string& takes_folder) {
    std::unique_ptr<FlacSaver> flac;
    if (flac_asked(std::getenv("TAPERLY_FORMAT"))) {
        flac = std::make_unique<FlacSaver>();
    }
    return std::make_unique<WaveRecorder>(
        make_audio_input(), std::make_unique<WaveFileWriter>(takes_folder, std::move(flac)),
        pre_roll_settings(), RoomWatch(takes_folder, &folder_free_bytes));
}

}  // namespace taperly
