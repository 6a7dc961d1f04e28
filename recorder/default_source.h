#pragma once

#include <chrono>
#include <string>

namespace taperly {

// The name of the sound server's default input ("" when there is no server,
// it does not answer within the limit, or Taperly was built without
// PulseAudio). Works the same with PipeWire's PulseAudio service.
std::string server_default_source(std::chrono::milliseconds limit);

}  // namespace taperly
