#pragma once

#include <memory>
#include <string>

#include "recorder/takes/flac_saver.h"
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
// memory use does not depend on the length of the take. Given a FLAC saver,
// a take saved under a name ending in ".flac" is handed to it instead, with
// its hidden file, and the next take gets a file of its own.
class WaveFileWriter : public TakeWriter {
  public:
    static constexpr int kSampleRate = kTakeSampleRate;

    explicit WaveFileWriter(std::string takes_folder, std::unique_ptr<FlacSaver> flac = nullptr);
    // A take neither saved nor discarded stays hidden for the next start.
    ~WaveFileWriter() override = default;
    WaveFileWriter(const WaveFileWriter&) = delete;
    WaveFileWriter& operator=(const WaveFileWriter&) = delete;

    bool begin(const std::string& started) override;
    void append(std::span<const std::int16_t> frames) override;
    std::int64_t frames() const override { return frames_; }
    int peak() const override { return peak_; }
    void describe(const TakeTags& tags) override;
    Saved save_as(const std::string& name) override;
    void when_saved_later(LateSaveTold told) override { late_told_ = std::move(told); }
    std::string extension() const override { return flac_ ? ".flac" : ".wav"; }
    void finish_storing_now() override;
    void keep_hidden() override;
    void discard() override;
    const TakeFailure& failure() const override { return failure_; }

  private:
    Saved kept_for_recovery(const std::string& target);
    Saved save_later(const std::string& name);
    bool write_head();
    void write_sizes();
    void fail(const char* what, const std::string& name, int error);
    void forget();

    // Gone last: the takes handed to it are stored even as the writer goes.
    std::unique_ptr<FlacSaver> flac_;
    std::unique_ptr<TakeFile> take_;
    LateSaveTold late_told_;
    TakeTags tags_;
    std::int64_t frames_ = 0;
    int peak_ = 0;
    bool write_failed_ = false;
    // Saved or being saved: the file is no longer the writer's to change.
    bool sealed_ = false;
    TakeFailure failure_;
};

}  // namespace taperly
