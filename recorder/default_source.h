#pragma once

#include <chrono>
#include <string>

namespace taperly {

// What the sound server said when asked for its default input.
struct ServerAnswer {
    enum class Kind {
        kNoServer,  // none reachable (or Taperly was built without PulseAudio)
        kSilent,    // reachable but gave no answer within the limit
        kAnswered,
    };
    Kind kind = Kind::kNoServer;
    std::string default_source;
};

// Asks the PulseAudio server (or PipeWire's PulseAudio service) for the name
// of its default input, waiting no longer than the limit.
ServerAnswer ask_default_source(std::chrono::milliseconds limit);

}  // namespace taperly
