#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace taperly {

// An input the sound server offers.
struct SoundSource {
    std::string name;
    std::string description;
    // What a sink plays, not what comes in.
    bool monitor = false;
    bool operator==(const SoundSource&) const = default;
};

// What the sound server said when asked for its default input.
struct ServerAnswer {
    enum class Kind {
        kNotAsked,  // Taperly was built without PulseAudio: Qt alone decides
        kNoServer,  // none reachable
        kSilent,    // reachable but gave no answer within the limit
        kAnswered,
    };
    Kind kind = Kind::kNotAsked;
    std::string default_source;
    std::vector<SoundSource> sources;
    // "pulseaudio", or PipeWire's PulseAudio service naming itself.
    std::string server_name = {};
};

// Asks the PulseAudio server (or PipeWire's PulseAudio service) for the name
// of its default input and its inputs, waiting no longer than the limit.
ServerAnswer ask_default_source(std::chrono::milliseconds limit);

}  // namespace taperly
