#include "tracking/reply_timing.h"

#include "link/reply_fields.h"
#include "tracking/reception_tracker.h"

namespace taperly {

SteadyTime line_time(std::size_t bytes, int bits_per_second) {
    if (bits_per_second <= 0) {
        return SteadyTime{0};
    }
    return SteadyTime(static_cast<long long>(bytes) * 10 * 1000 / bits_per_second);
}

SteadyTime pre_roll_reach(int poll_interval_ms, int bits_per_second) {
    return SteadyTime(2LL * poll_interval_ms) + 2 * line_time(kStatusReplyBytes, bits_per_second);
}

int fastest_poll_for_line(int bits_per_second) {
    if (bits_per_second <= 0) {
        return 0;
    }
    const long long bit_times = 10LL * (kStatusReplyBytes + kIdentityReplyBytes) * 1000;
    const long long two_polls = 2LL * bits_per_second;
    return static_cast<int>((bit_times + two_polls - 1) / two_polls);
}

void ReceptionTracker::time_status_reply(const ReplyFields& fields, std::size_t bytes,
                                         SteadyTime arrived) {
    // The scanner told what it hears as the reply began to leave it: its
    // arrival less its time on the line.
    if (fields.at(9) != "0") {
        recorder_.heard_nothing_at(arrived - line_time(bytes, bits_per_second_));
    }
}

}  // namespace taperly
