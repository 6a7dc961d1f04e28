#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "playback/quiet_edges.h"
#include "playback/stretcher.h"
#include "playback/take_player.h"
#include "playback/take_sound.h"

namespace taperly {

// The rules of playing a list of takes, without threads or a sound output:
// the player's thread gives it the window's orders and asks it for the next
// frames to be heard, at the output's rate. Takes play back to back, each
// cut to its played part (see quiet_edges.h); at 1x a take at the output's
// rate passes unchanged, otherwise through the stretcher.
class PlayEngine {
  public:
    static constexpr int kDefaultOutputRate = 22050;
    // "previous" goes to the take before only this early in a take;
    // later it starts the take playing again.
    static constexpr double kRestartAfterSeconds = 2.0;

    explicit PlayEngine(OpenTakeSound open, int output_rate = kDefaultOutputRate);

    // The orders of TakePlayer, as it describes them.
    void play(std::vector<PlayItem> items);
    void append(std::vector<PlayItem> items);
    void set_follow_live(bool follow);
    void set_paused(bool paused);
    void next();
    void previous();
    void seek(double seconds);
    void set_speed(double speed);
    void stop();
    // Goes back to a place in a take of the list given before (where the
    // sound is heard, while the engine has read on).
    void return_to(int index, double seconds);
    // The output's own rate, once it is known.
    void set_output_rate(int rate);

    // Fills `into` with what is to be heard next; fewer frames only when
    // nothing more is to be heard for now.
    std::size_t render(std::span<std::int16_t> into);
    // Whether render would give frames now.
    bool sounding() const;
    bool paused() const { return paused_ && listed_ && !played_out_; }
    // Whether sound given out before must not be heard any more (a jump to
    // another take or place, a stop) since this was last asked.
    bool take_jump();
    PlayerState state() const;

  private:
    struct Entry {
        PlayItem item;
        // Came by append(): heard only while following live.
        bool appended = false;
    };

    void reset();
    // Plays the first take from `index` on that can be played, or runs out.
    void enter(int index, bool jump);
    // Makes the take at `index` the one playing; false when it cannot play.
    bool open_at(int index);
    void run_out(int resume_at);
    bool stretching() const;
    void configure_stretcher();
    // The next frame of the take playing that is not heard yet.
    std::int64_t heard_frame() const;
    // Goes on from `frame` of the take playing, what the stretcher holds forgotten.
    void restart_at(std::int64_t frame);

    OpenTakeSound open_;
    int output_rate_;
    std::vector<Entry> list_;
    // A list was given by play() and not stopped.
    bool listed_ = false;
    // The list ran out with following off: nothing plays until an order.
    bool played_out_ = false;
    bool paused_ = false;
    bool follow_ = false;
    double speed_ = 1.0;
    int current_ = -1;
    // Where the list goes on once it ran out (what comes later).
    int resume_at_ = 0;
    std::unique_ptr<TakeSound> sound_;
    PlayedPart part_;
    std::int64_t next_ = 0;
    // Where the take playing began to be heard (its part's start, a place
    // sought): what is heard of it lies beyond.
    std::int64_t from_ = 0;
    std::int64_t end_ = 0;
    Stretcher stretcher_;
    bool jumped_ = false;
    std::string problem_;
    std::vector<std::int16_t> block_;
};

}  // namespace taperly
