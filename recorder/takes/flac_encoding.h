#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "recorder/takes/native_file.h"
#include "recorder/takes/take_tags.h"

namespace taperly {

// A finished take's WAV file, as the FLAC encoding reads it.
struct FlacSource {
    const NativeFile* wav = nullptr;
    // Its frames, which follow its header.
    std::int64_t frames = 0;
    TakeTags tags;
    std::string folder;
    // The bare name the FLAC take gets in `folder`.
    std::string name;
    // Once set, the encoding stops and fails with kEndingReason.
    const std::atomic<bool>* ending = nullptr;
};

inline constexpr const char* kEndingReason = "Taperly was ending";

struct FlacStored {
    // kStoredNotFlushed: it has its name, but the disk reported an error
    // when the folder's names were flushed.
    enum class Outcome { kStored, kStoredNotFlushed, kNameTaken, kFailed };
    Outcome outcome = Outcome::kFailed;
    // Why it failed, or what the disk reported, in words for the user.
    std::string reason;
};

// Encodes the take as FLAC into a hidden file of its own, which is no take
// and which recovery removes, waits until it is on the disk, reads it back
// sample for sample against the WAV, and only then gives it the name, in one
// step that never replaces a file. The WAV file is left as it is; the hidden
// FLAC file never outlives the call, whatever becomes of it.
FlacStored store_as_flac(const FlacSource& source);

}  // namespace taperly
