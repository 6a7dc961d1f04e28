#pragma once

#include <string>
#include <vector>

#include "playback/take_player.h"

namespace taperly::testing {

// A player that logs what it is asked, its items by file name, and says
// whatever state the test gives it.
class FakePlayer : public TakePlayer {
  public:
    void play(std::vector<PlayItem> items) override { calls.push_back("play" + names(items)); }
    void append(std::vector<PlayItem> items) override { calls.push_back("append" + names(items)); }
    void set_follow_live(bool follow) override {
        calls.push_back(follow ? "follow live" : "no follow live");
    }
    void set_paused(bool paused) override { calls.push_back(paused ? "pause" : "go on"); }
    void next() override { calls.push_back("next"); }
    void previous() override { calls.push_back("previous"); }
    void seek(double seconds) override { calls.push_back("seek " + std::to_string(seconds)); }
    void set_speed(double speed) override { calls.push_back("speed " + std::to_string(speed)); }
    void stop() override { calls.push_back("stop"); }
    PlayerState state() const override { return now; }

    std::vector<std::string> calls;
    PlayerState now;

  private:
    static std::string names(const std::vector<PlayItem>& items) {
        std::string text;
        for (const PlayItem& item : items) {
            text += " " + item.path.substr(item.path.find_last_of("/\\") + 1);
        }
        return text;
    }
};

}  // namespace taperly::testing
