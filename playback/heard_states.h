#pragma once

#include <cstdint>
#include <deque>
#include <optional>

#include "playback/take_player.h"

namespace taperly {

// What is heard at this moment of what the player gave its output, which
// holds up to a second of it: the engine's state after each piece given,
// looked up by how much the output still holds. The window highlights the
// take heard, not the one being read.
class HeardStates {
  public:
    // A piece of `frames` was given to the output; `after` is the engine's
    // state once it was rendered.
    void given(std::int64_t frames, const PlayerState& after);
    // What was given will not be heard (dropped, or its output gone).
    void forget();
    // The state of the sound heard now, `queued` frames of what was given
    // still to come at `rate`; none once everything given is heard.
    std::optional<PlayerState> heard(std::int64_t queued, int rate);

  private:
    struct Piece {
        // Frames given up to this piece's end, counted from the start.
        std::int64_t upto;
        std::int64_t frames;
        PlayerState after;
    };
    std::deque<Piece> pieces_;
    std::int64_t given_ = 0;
};

}  // namespace taperly
