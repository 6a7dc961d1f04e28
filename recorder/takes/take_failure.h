#pragma once

#include <string>

namespace taperly {

// What went wrong with a take's file, in words for the user.
struct TakeFailure {
    // The whole of it: what failed, for which file, and why.
    std::string told;
    // Only why, as the system words it ("No space left on device").
    std::string reason;
    // The disk, or the user's share of it, was full.
    bool out_of_room = false;

    bool empty() const { return told.empty(); }
    bool operator==(const TakeFailure&) const = default;
};

}  // namespace taperly
