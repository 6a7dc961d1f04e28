#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "recorder/takes/take_failure.h"

namespace taperly {

// What a save that finishes after its take has ended came to: a take being
// encoded is stored, under `file_name`, only once its encoding is done.
struct LateSave {
    enum class Saved { kStored, kNameTaken, kFailed };
    Saved saved = Saved::kFailed;
    // The name it was stored under, or the one that was taken or refused.
    std::string file_name;
    // What the takes log says of it beside the outcome: why it was not
    // stored as asked (as the system words it), also when it was stored all
    // the same in another form or with its folder not flushed.
    std::string reason;
    // As a save on the spot tells it: for kFailed, why it could not be
    // saved; for kStored, the disk's error when the folder's names were
    // flushed, if there was one.
    TakeFailure failure;
    std::int64_t frames = 0;
    int peak = 0;
};

// Told once per late save, from the thread that finished it.
using LateSaveTold = std::function<void(const LateSave&)>;

}  // namespace taperly
