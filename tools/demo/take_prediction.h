#pragma once

#include <string>

#include "tracking/clock.h"
#include "tracking/take_state.h"

namespace taperly::demo {

// The file name the tracker gives a take whose state is `state` when it ends
// at `end_time` (a clock's time-of-day text) on `date`.
std::string predict_take_name(TakeState state, const std::string& end_time,
                              const CalendarDate& date);

// Whether the take has its names from the scanner's identity replies.
bool has_identity_names(const TakeState& state);

// Whether two states name their takes from the same identity.
bool same_identity_names(const TakeState& a, const TakeState& b);

}  // namespace taperly::demo
