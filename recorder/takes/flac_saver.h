#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "recorder/takes/flac_encoding.h"
#include "recorder/takes/late_save.h"
#include "recorder/takes/take_file.h"
#include "recorder/takes/take_tags.h"

namespace taperly {

using FlacEncoder = std::function<FlacStored(const FlacSource&)>;
// The bytes free in a folder; none when the system cannot tell.
using FolderRoom = std::function<std::optional<std::int64_t>(const std::string& folder)>;

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
// whose encoding fails, or is not begun because the folder lacks the room
// for the FLAC file beside the WAV and the take being recorded, is saved as
// the WAV file it already is, under its name with ".wav"; one that cannot be
// saved so either stays hidden for the next start to recover. Destroying it
// waits for every take it holds.
class FlacSaver {
  public:
    explicit FlacSaver(FlacEncoder encode = &store_as_flac, FolderRoom room = &folder_free_bytes);
    ~FlacSaver();
    FlacSaver(const FlacSaver&) = delete;
    FlacSaver& operator=(const FlacSaver&) = delete;

    void add(FlacJob job);
    // The program is ending: every take held, and each one added later, is
    // saved as WAV at once (an encoding under way stops); returns once none
    // is left.
    void finish_now();

  private:
    void work();
    void store(FlacJob& job);
    // Why the take is not to be encoded at all; empty when it is.
    std::string reason_not_to_encode(const FlacJob& job) const;

    FlacEncoder encode_;
    FolderRoom room_;
    std::atomic<bool> ending_soon_ = false;
    std::mutex mutex_;
    std::condition_variable woken_;
    // Told when the last take held has been stored.
    std::condition_variable idle_;
    std::deque<FlacJob> jobs_;
    bool busy_ = false;
    bool ending_ = false;
    std::thread worker_;
};

// `name` with ".flac" at its end changed to ".wav".
std::string wav_name_of(const std::string& name);

}  // namespace taperly
