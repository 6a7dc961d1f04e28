#pragma once

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
};

struct FlacStored {
    enum class Outcome { kStored, kNameTaken, kFailed };
    Outcome outcome = Outcome::kFailed;
    // Why it failed, in words for the user.
    std::string reason;
};

// Encodes the take as FLAC into a hidden file of its own, which is no take
// and which recovery removes, waits until it is on the disk, reads it back
// sample for sample against the WAV, and only then gives it the name, in one
// step that never replaces a file. The WAV file is left as it is.
FlacStored store_as_flac(const FlacSource& source);

}  // namespace taperly
