#include "recorder/capture/default_source.h"

namespace taperly {

// Built without PulseAudio: there is no server to ask, and Qt's own
// default input is recorded.
ServerAnswer ask_default_source(std::chrono::milliseconds) {
    return {};
}

}  // namespace taperly
