#include "playback/heard_states.h"

#include <algorithm>

namespace taperly {

void HeardStates::given(std::int64_t frames, const PlayerState& after) {
    if (frames > 0) {
        given_ += frames;
        pieces_.push_back({given_, frames, after});
    }
}

void HeardStates::forget() {
    pieces_.clear();
}

std::optional<PlayerState> HeardStates::heard(std::int64_t queued, int rate) {
    const std::int64_t heard_upto = given_ - std::max<std::int64_t>(queued, 0);
    // Pieces heard through are of no more use.
    while (!pieces_.empty() && pieces_.front().upto <= heard_upto) {
        pieces_.pop_front();
    }
    if (pieces_.empty() || rate <= 0) {
        return std::nullopt;
    }
    // Heard now: the first piece not heard through, as far into it as its end
    // less what of it is still to come (all of it, when the output holds
    // more than was given since the last drop).
    const Piece& piece = pieces_.front();
    PlayerState state = piece.after;
    const double to_come =
        static_cast<double>(std::min(piece.upto - heard_upto, piece.frames)) / rate;
    state.position_seconds = std::max(0.0, state.position_seconds - to_come * state.speed);
    return state;
}

}  // namespace taperly
