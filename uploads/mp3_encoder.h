#pragma once

#include "uploads/call_parts.h"

namespace taperly {

// MP3 through libsndfile's MPEG encoder (LAME): mono, 22050 Hz, at a
// variable rate of about 35 kbit/s for speech, a tenth of the WAV's size.
class Mp3Encoder : public SoundEncoder {
  public:
    std::string encode_mp3(const std::string& take, const std::string& mp3,
                           const std::atomic<bool>& cancelled) override;
};

}  // namespace taperly
