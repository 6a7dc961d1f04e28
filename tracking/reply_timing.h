#pragma once

#include <cstddef>

#include "tracking/clock.h"

namespace taperly {

// A BC246T's status reply: twelve fields, six of them 16 characters wide.
inline constexpr std::size_t kStatusReplyBytes = 115;
// Its identity reply at its longest: type, talkgroup number and three names
// of 16 characters.
inline constexpr std::size_t kIdentityReplyBytes = 67;

// How long `bytes` take on a serial line at `bits_per_second`: ten bit times
// a byte (start, eight data bits, stop). Nothing when the speed is unknown.
SteadyTime line_time(std::size_t bytes, int bits_per_second);

// How far before the status reply that starts a take its sound may begin: a
// status reply comes every second poll firing and takes its time on the line,
// so the scanner said it heard nothing at most two poll intervals and two
// replies' line time before. Further back is noise or another transmission.
SteadyTime pre_roll_reach(int poll_interval_ms, int bits_per_second);

// The shortest poll interval the line carries: two polls bring a status and
// an identity reply, which must have left the line before the next two, or
// replies fall further and further behind (and the reach above is wrong).
int fastest_poll_for_line(int bits_per_second);

}  // namespace taperly
