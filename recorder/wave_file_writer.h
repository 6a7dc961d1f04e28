#pragma once

#include <sndfile.h>

#include <memory>
#include <string>

#include "recorder/take_file.h"
#include "recorder/take_format.h"
#include "recorder/take_writer.h"

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
    bool save_as(const std::string& name) override;
    void discard() override;
    std::string failure() const override { return failure_; }

    // The hidden file the current take is streamed into ("" when none).
    const std::string& temporary_path() const { return take_.hidden_path(); }

  private:
    struct SndfileCloser {
        void operator()(SNDFILE* file) const { sf_close(file); }
    };
    using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

    bool reopen_for_more();

    // Declared before the sound file, which writes into it until it closes.
    TakeFile take_;
    SndfileHandle file_;
    bool write_failed_ = false;
    std::string failure_;
};

}  // namespace taperly
