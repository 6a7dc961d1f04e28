#pragma once

#include <string>

#include "recorder/takes/take_file.h"
#include "recorder/takes/take_format.h"
#include "recorder/takes/take_tags.h"
#include "recorder/takes/take_writer.h"

namespace taperly {

// Streams a take into a hidden WAV file in the takes folder whose header is
// kept valid as it grows, so a take cut short by a crash still plays, and
// whose name says when it began, so that it can be named afterwards. The
// header has room for the take's tags, written when they are told, also
// after the sound (libsndfile can place tags before the sound only before
// the first frame, and a take's names are known only when it ends).
// Saving gives that file its name in one step that never replaces a file;
// memory use does not depend on the length of the take.
class WaveFileWriter : public TakeWriter {
  public:
    static constexpr int kSampleRate = kTakeSampleRate;

    explicit WaveFileWriter(std::string takes_folder);
    ~WaveFileWriter() override;
    WaveFileWriter(const WaveFileWriter&) = delete;
    WaveFileWriter& operator=(const WaveFileWriter&) = delete;

    bool begin(const std::string& started) override;
    void append(std::span<const std::int16_t> frames) override;
    std::int64_t frames() const override { return frames_; }
    int peak() const override { return peak_; }
    void describe(const TakeTags& tags) override;
    Saved save_as(const std::string& name) override;
    void keep_hidden() override;
    void discard() override;
    const TakeFailure& failure() const override { return failure_; }

  private:
    Saved kept_for_recovery(const std::string& target);
    bool write_head();
    void write_sizes();
    void fail(const char* what, const std::string& name, int error);
    void forget();

    TakeFile take_;
    TakeTags tags_;
    std::int64_t frames_ = 0;
    int peak_ = 0;
    bool write_failed_ = false;
    // Saved or being saved: the file is no longer the writer's to change.
    bool sealed_ = false;
    TakeFailure failure_;
};

}  // namespace taperly
