#pragma once

#include <functional>
#include <memory>

#include "playback/sound_output.h"
#include "playback/take_player.h"
#include "playback/take_sound.h"

namespace taperly {

// The TakePlayer the window drives: its orders are queued for a thread of
// the player's own, which reads, stretches and plays the takes through the
// output, and publishes what it does for state(). The thread owns all it
// touches; destroying the player waits for it two seconds at most, after
// which it ends by itself (a sound service or a disk holding it up cannot
// hang the window).
class ThreadedTakePlayer : public TakePlayer {
  public:
    using MakeOutput = std::function<std::unique_ptr<SoundOutput>()>;

    ThreadedTakePlayer(OpenTakeSound open, MakeOutput make_output);
    ~ThreadedTakePlayer() override;
    ThreadedTakePlayer(const ThreadedTakePlayer&) = delete;
    ThreadedTakePlayer& operator=(const ThreadedTakePlayer&) = delete;

    void play(std::vector<PlayItem> items) override;
    void append(std::vector<PlayItem> items) override;
    void set_follow_live(bool follow) override;
    void set_paused(bool paused) override;
    void next() override;
    void previous() override;
    void seek(double seconds) override;
    void set_speed(double speed) override;
    void stop() override;
    PlayerState state() const override;

  private:
    struct Shared;
    void give(std::function<void(Shared&)> order);

    std::shared_ptr<Shared> shared_;
};

}  // namespace taperly
