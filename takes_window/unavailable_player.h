#pragma once

#include <string>
#include <utility>

#include "playback/take_player.h"

namespace taperly {

// A player for a build that has no way to sound: it plays nothing and says
// why, so that the Takes window shows it rather than pretending.
class UnavailablePlayer : public TakePlayer {
  public:
    explicit UnavailablePlayer(std::string why) { state_.problem = std::move(why); }
    void play(std::vector<PlayItem>) override {}
    void append(std::vector<PlayItem>) override {}
    void set_follow_live(bool) override {}
    void set_paused(bool) override {}
    void next() override {}
    void previous() override {}
    void seek(double) override {}
    void set_speed(double speed) override { state_.speed = speed; }
    void stop() override {}
    PlayerState state() const override { return state_; }

  private:
    PlayerState state_;
};

}  // namespace taperly
