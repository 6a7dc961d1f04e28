#include "recorder/capture/make_audio_input.h"
#include "recorder/capture/wasapi_audio_input.h"

namespace taperly {

std::unique_ptr<AudioInput> make_audio_input() {
    return std::make_unique<WasapiAudioInput>();
}

}  // namespace taperly
