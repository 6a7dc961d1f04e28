#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace taperly {

// One take to hear: its file, and the number the Takes window knows it by.
struct PlayItem {
    std::string path;
    std::int64_t id = 0;
};

// What the player is doing, as the Takes window shows it.
struct PlayerState {
    enum class Mode { kStopped, kPlaying, kPaused, kWaitingForLive };
    Mode mode = Mode::kStopped;
    // The item playing, or paused in; -1 (and id 0) when none.
    int index = -1;
    std::int64_t id = 0;
    double position_seconds = 0;
    double length_seconds = 0;
    double speed = 1.0;
    // Why nothing can be heard ("no sound output", an output that went
    // away, a file that cannot be read), in words for the user; empty while
    // all is well. Recording never hears of it.
    std::string problem;

    bool operator==(const PlayerState&) const = default;
};

// Plays takes back to back on the sound server's default output, off the
// window's thread. Every call returns at once; the window asks state() to
// show what is going on.
class TakePlayer {
  public:
    virtual ~TakePlayer() = default;

    // Plays `items` in order from the first, the silence between two takes
    // cut to at most half a second. A single take is a list of one.
    virtual void play(std::vector<PlayItem> items) = 0;
    // Takes saved since, which match what the list was made from: heard
    // once the list is played out, when following live.
    virtual void append(std::vector<PlayItem> items) = 0;
    // When the list is played out: wait for appended takes instead of stopping.
    virtual void set_follow_live(bool follow) = 0;
    virtual void set_paused(bool paused) = 0;
    virtual void next() = 0;
    virtual void previous() = 0;
    // A place in the item playing, in seconds of its sound.
    virtual void seek(double seconds) = 0;
    // 1, 1.5 or 2 times as fast, the pitch as it was.
    virtual void set_speed(double speed) = 0;
    virtual void stop() = 0;
    virtual PlayerState state() const = 0;
};

}  // namespace taperly
