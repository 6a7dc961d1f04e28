#pragma once

#include <chrono>
#include <string_view>

#include "recorder/capture/pulse_capture.h"

namespace taperly {

// How Taperly captures during a take: the server hands sound over in pieces
// of 50 ms, and the event loop is woken for it only when a quarter of a second
// has gathered; orders take what has come before that. Each wake-up costs
// some 25 µs.
inline constexpr PulseCapture::Pace kTakePace{std::chrono::milliseconds(50),
                                              std::chrono::milliseconds(250)};
// Between takes the sound is needed only once a take begins, and each status
// reply takes what came: pieces of a second wake the capture once a second
// instead of four times (250 ms pieces did), and let a PipeWire graph run at
// its largest quantum. A take's start asks for what has come at once, and
// the take begins with the sound dated from its start whenever that comes.
// A source that goes away alone takes what was left queued with it, a
// quarter of a second at most, and only ever between takes.
inline constexpr PulseCapture::Pace kBetweenTakesPace{std::chrono::milliseconds(1000),
                                                      std::chrono::milliseconds(2000),
                                                      std::chrono::milliseconds(250)};

// How the server's path dates sound (docs/performance.md has the
// measurements): a date is never earlier than the sound less `least`, and
// never later than it by more than `spread`. The least latency is taken off
// every date, so a take starts no later than it should; the spread is left
// to a take's end, so its last sound stays in it. PipeWire's PulseAudio
// service passes sound on in quanta of its own and lags more, and unevenly.
struct PathTiming {
    std::chrono::milliseconds least;
    std::chrono::milliseconds spread;
};
inline constexpr PathTiming kPulseAudioTiming{std::chrono::milliseconds(0),
                                              std::chrono::milliseconds(5)};
inline constexpr PathTiming kPipeWireTiming{std::chrono::milliseconds(5),
                                            std::chrono::milliseconds(100)};

inline PathTiming path_timing(std::string_view server_name) {
    return server_name.find("PipeWire") != std::string_view::npos ? kPipeWireTiming
                                                                  : kPulseAudioTiming;
}

}  // namespace taperly
