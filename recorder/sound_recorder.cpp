#include "recorder/sound_recorder.h"

#include "recorder/make_audio_input.h"
#include "recorder/wave_file_writer.h"
#include "recorder/wave_recorder.h"

namespace taperly {

std::unique_ptr<RecorderControl> make_sound_recorder(const std::string& takes_folder) {
    return std::make_unique<WaveRecorder>(make_audio_input(),
                                          std::make_unique<WaveFileWriter>(takes_folder));
}

}  // namespace taperly
