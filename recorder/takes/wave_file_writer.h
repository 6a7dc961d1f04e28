#pragma once

#include <sndfile.h>

#include <memory>
#include <string>

#include "recorder/takes/take_file.h"
#include "recorder/takes/take_format.h"
#include "recorder/takes/take_writer.h"

namespace taperly {

// Streams a take into a hidden WAV file in the takes folder whose header is
// kept valid as it grows, so a take cut short by a crash still plays, and
// whose name says when it began, so that it can be named afterwards.
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
    Saved save_as(const std::string& name) override;
    void keep_hidden() override;
    void discard() override;
    const TakeFailure& failure() const override { return failure_; }

  private:
    struct SndfileCloser {
        void operator()(SNDFILE* file) const { sf_close(file); }
    };
    using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

    void fail(const char* what, const std::string& name, int error);
    void forget();

    // Declared before the sound file, which writes into it until it closes.
    TakeFile take_;
    SndfileHandle file_;
    std::int64_t frames_ = 0;
    int peak_ = 0;
    bool write_failed_ = false;
    TakeFailure failure_;
};

}  // namespace taperly
