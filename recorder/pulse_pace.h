#pragma once

#include <chrono>
#include <string_view>

#include "recorder/pulse_capture.h"

namespace taperly {

// How Taperly captures: the server hands sound over in pieces of 50 ms, and
// the event loop is woken for it only when a quarter of a second has gathered;
// orders take what has come before that. Each wake-up costs some 25 µs.
inline constexpr PulseCapture::Pace kCapturePace{std::chrono::milliseconds(50),
                                                 std::chrono::milliseconds(250)};

// How much sooner than its pieces reach Taperly the server can have captured
// sound, at the least (docs/performance.md has the measurements): taken off
// every date, so a take starts no later than it should. PipeWire's PulseAudio
// service passes sound on in its own quanta and lags more.
inline constexpr std::chrono::milliseconds kPulseAudioLatency{0};
inline constexpr std::chrono::milliseconds kPipeWireLatency{0};

inline std::chrono::milliseconds least_latency(std::string_view server_name) {
    return server_name.find("PipeWire") != std::string_view::npos ? kPipeWireLatency
                                                                  : kPulseAudioLatency;
}

}  // namespace taperly
