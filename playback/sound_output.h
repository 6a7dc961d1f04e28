#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace taperly {

// Where the player's sound is heard: the sound server's default output. It
// is made, used and destroyed on the player's thread alone, and no call
// waits on the server for more than a short limit, so a server that hangs
// holds up nothing but the sound. It has nothing to do with the capture,
// which has a connection of its own.
class SoundOutput {
  public:
    virtual ~SoundOutput() = default;

    // Connects to the default output; false, with the reason in words for
    // the user in `problem`, when there is none within a second or two.
    virtual bool open(std::string& problem) = 0;
    // The rate, in frames a second, it takes 16-bit mono frames at.
    virtual int rate() const = 0;
    // How many frames it takes now without waiting; -1 once it went away,
    // with the reason in `problem`.
    virtual long room(std::string& problem) = 0;
    // How many of the frames written are not heard yet, as far as it can
    // tell (0 when it cannot).
    virtual long queued() = 0;
    // Queues frames to be heard, at most room() of them.
    virtual void write(std::span<const std::int16_t> frames) = 0;
    // Drops what is queued and not heard yet.
    virtual void drop() = 0;
    // Holds what is queued, unheard, until let go again.
    virtual void set_paused(bool paused) = 0;
};

// This build's output: the twin the build file chose.
std::unique_ptr<SoundOutput> make_sound_output();

}  // namespace taperly
