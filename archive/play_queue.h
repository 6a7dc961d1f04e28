#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/take_archive.h"
#include "playback/take_player.h"

namespace taperly {

// What the player is given to play, a batch at a time: "play from here"
// over a year of takes never hands the player a million of them at once.
// The next batch goes to the player as it nears the end of what it has;
// when following live, takes saved since that match what the list was made
// from follow as they come. Used on the window's thread.
class PlayQueue {
  public:
    static constexpr int kBatch = 200;

    PlayQueue(TakeArchive& archive, TakePlayer& player, std::string folder);

    // Plays `takes` (those selected) in time order; takes whose files are
    // gone are left out. False when none is left to play.
    bool play(std::vector<ArchivedTake> takes);
    // Plays what `filter` matches from the take `id` on, in time order.
    void play_from(const TakeFilter& filter, std::int64_t id, bool follow_live);
    void set_follow_live(bool follow);
    // A few times a second: hands the player more when it needs them.
    void tick();

  private:
    void fetch();
    PlayItem item(const ArchivedTake& take) const;

    TakeArchive& archive_;
    TakePlayer& player_;
    std::string folder_;
    // The list being played out, when it was made from a search.
    std::optional<TakeFilter> filter_;
    std::int64_t last_id_ = 0;
    int given_ = 0;
    bool fetching_ = false;
    // Nothing more matched when last asked.
    bool played_out_ = false;
    bool follow_live_ = false;
    // Answers to an earlier list are dropped.
    int session_ = 0;
};

}  // namespace taperly
