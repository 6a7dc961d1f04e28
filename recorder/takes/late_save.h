#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace taperly {

// What a save that finishes after its take has ended came to: a take being
// encoded is stored, under `file_name`, only once its encoding is done.
struct LateSave {
    enum class Saved { kStored, kNameTaken, kFailed };
    Saved saved = Saved::kFailed;
    // The name it was stored under, or the one that was taken or refused.
    std::string file_name;
    // Why it was not stored as asked (as the system words it), also when it
    // was stored all the same in another form.
    std::string reason;
    std::int64_t frames = 0;
    int peak = 0;
};

// Told once per late save, from the thread that finished it.
using LateSaveTold = std::function<void(const LateSave&)>;

}  // namespace taperly
