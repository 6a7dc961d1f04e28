#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

struct sf_private_tag;

namespace taperly {

// A take's sound read through libsndfile (WAV, FLAC), its path UTF-8 on
// every system: libsndfile is handed the open file, never the name.
class SoundReader {
  public:
    explicit SoundReader(const std::string& path);
    ~SoundReader();
    SoundReader(const SoundReader&) = delete;
    SoundReader& operator=(const SoundReader&) = delete;

    bool is_open() const { return sound_ != nullptr; }
    // libsndfile's words for why it is not open.
    const std::string& error() const { return error_; }
    std::int64_t frames() const { return frames_; }
    int sample_rate() const { return sample_rate_; }
    int channels() const { return channels_; }
    // Whether its samples are 16-bit integers, which read as such are exact.
    bool is_16_bit() const { return is_16_bit_; }
    // A tag libsndfile knows (SF_STR_TITLE, SF_STR_COMMENT, SF_STR_DATE).
    std::string tag(int kind) const;
    // Up to `frames` frames into `into`; the frames read, 0 at the end.
    std::int64_t read(std::int16_t* into, std::int64_t frames);

  private:
    std::ifstream file_;
    std::int64_t length_ = 0;
    sf_private_tag* sound_ = nullptr;
    std::string error_;
    std::int64_t frames_ = 0;
    int sample_rate_ = 0;
    int channels_ = 0;
    bool is_16_bit_ = false;
};

}  // namespace taperly
