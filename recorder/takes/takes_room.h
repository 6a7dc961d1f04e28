#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "recorder/takes/take_format.h"

namespace taperly {

inline constexpr std::int64_t kTakeBytesPerMinute =
    std::int64_t{kTakeSampleRate} * kTakeBytesPerFrame * 60;

// How much recording the free space of the takes folder holds, the one rule
// for when takes stop and when the user is warned. Below a couple of seconds
// of sound (a page of header and a few writes) a take would be cut at once
// or be empty, so none is begun; below an hour it is time to make room.
enum class Room { kEnough, kAlmostFull, kFull };
inline constexpr std::int64_t kFullBelowBytes = 64 * 1024;
inline constexpr std::int64_t kAlmostFullBelowBytes = 60 * kTakeBytesPerMinute;
Room room_for_takes(std::int64_t free_bytes);
// Whole minutes of recording left.
std::int64_t minutes_left(std::int64_t free_bytes);
// "1.2 MB", "830 kB": free space for the user to read.
std::string bytes_text(std::int64_t bytes);

// Keeps an eye on the free space of the takes folder: looked at when asked,
// once a second while the disk is full (so that recording resumes soon
// after room is made) and once a minute otherwise.
class RoomWatch {
  public:
    using FreeBytes = std::function<std::optional<std::int64_t>(const std::string& folder)>;
    using Time = std::chrono::milliseconds;

    RoomWatch() = default;
    RoomWatch(std::string folder, FreeBytes free_bytes);

    void look(Time now);
    void look_if_due(Time now);
    // A write found the disk full: it counts as full until a look finds room.
    void ran_out(Time now);

    bool full() const { return full_; }
    std::optional<std::int64_t> free_bytes() const { return free_bytes_; }
    const std::string& folder() const { return folder_; }

  private:
    std::string folder_;
    FreeBytes read_free_;
    std::optional<Time> last_look_;
    std::optional<std::int64_t> free_bytes_;
    bool full_ = false;
};

}  // namespace taperly
