#pragma once

namespace taperly {

// Every take is 16-bit mono PCM at this rate, from capture to file.
inline constexpr int kTakeSampleRate = 22050;

}  // namespace taperly
