#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "recorder/takes/flac_encoding.h"
#include "recorder/takes/late_save.h"
#include "recorder/takes/take_file.h"
#include "recorder/takes/take_tags.h"

namespace taperly {

using FlacEncoder = std::function<FlacStored(const FlacSource&)>;

// A finished take waiting to be stored as FLAC: its hidden WAV file, held
// until the FLAC take is on the disk, and what its save is told.
struct FlacJob {
    std::unique_ptr<TakeFile> take;
    std::int64_t frames = 0;
    int peak = 0;
    TakeTags tags;
    // The bare name, ending in ".flac".
    std::string name;
    LateSaveTold told;
};

// Stores finished takes as FLAC on a thread of its own, one after another in
// the order they came, as encoding an hour's take takes seconds. A take
// whose encoding fails is saved as the WAV file it already is, under its
// name with ".wav"; one that cannot be saved so either stays hidden for the
// next start to recover. Destroying it waits for every take it holds.
class FlacSaver {
  public:
    explicit FlacSaver(FlacEncoder encode = &store_as_flac);
    ~FlacSaver();
    FlacSaver(const FlacSaver&) = delete;
    FlacSaver& operator=(const FlacSaver&) = delete;

    void add(FlacJob job);

  private:
    void work();
    void store(FlacJob& job);

    FlacEncoder encode_;
    std::mutex mutex_;
    std::condition_variable woken_;
    std::deque<FlacJob> jobs_;
    bool ending_ = false;
    std::thread worker_;
};

// `name` with ".flac" at its end changed to ".wav".
std::string wav_name_of(const std::string& name);

}  // namespace taperly
