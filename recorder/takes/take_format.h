#pragma once

namespace taperly {

// How every take is encoded: 16-bit PCM, mono, 22050 frames a second. The
// writer uses it to make takes, recovery to mend what a crash left of one.
inline constexpr int kTakeSampleRate = 22050;
inline constexpr int kTakeChannels = 1;
inline constexpr int kTakeBytesPerFrame = 2 * kTakeChannels;

}  // namespace taperly
