#pragma once

#include "link/reply_fields.h"
#include "tracking/take_state.h"

namespace taperly {

// Keeps the first display-line texts of a take in the take state, for naming
// a take that no identity reply named.
void capture_display_lines(TakeState& state, const ReplyFields& fields);

}  // namespace taperly
