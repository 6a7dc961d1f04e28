#include "recorder/takes/takes_room.h"

#include <cstdio>
#include <utility>

namespace taperly {

namespace {

constexpr std::chrono::seconds kLookWhileFull{1};
constexpr std::chrono::minutes kLookOtherwise{1};

}  // namespace

Room room_for_takes(std::int64_t free_bytes) {
    if (free_bytes < kFullBelowBytes) {
        return Room::kFull;
    }
    return free_bytes < kAlmostFullBelowBytes ? Room::kAlmostFull : Room::kEnough;
}

std::int64_t minutes_left(std::int64_t free_bytes) {
    return free_bytes <= 0 ? 0 : free_bytes / kTakeBytesPerMinute;
}

std::string bytes_text(std::int64_t bytes) {
    char text[32];
    if (bytes >= 1000 * 1000) {
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    } else {
        std::snprintf(text, sizeof text, "%lld kB", static_cast<long long>(bytes / 1000));
    }
    return text;
}

RoomWatch::RoomWatch(std::string folder, FreeBytes free_bytes)
    : folder_(std::move(folder)), read_free_(std::move(free_bytes)) {}

void RoomWatch::look(Time now) {
    last_look_ = now;
    if (!read_free_) {
        return;
    }
    free_bytes_ = read_free_(folder_);
    // A folder whose free space cannot be read is tried: a take that then
    // runs out of room says so.
    full_ = free_bytes_ && room_for_takes(*free_bytes_) == Room::kFull;
}

void RoomWatch::look_if_due(Time now) {
    const Time every = full_ ? Time(kLookWhileFull) : Time(kLookOtherwise);
    if (!last_look_ || now - *last_look_ >= every) {
        look(now);
    }
}

void RoomWatch::ran_out(Time now) {
    full_ = true;
    last_look_ = now;
    if (read_free_) {
        free_bytes_ = read_free_(folder_);
    }
}

}  // namespace taperly
