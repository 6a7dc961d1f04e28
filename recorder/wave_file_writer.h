#pragma once

#include <sndfile.h>

#include <memory>
#include <string>

#include "recorder/take_writer.h"

namespace taperly {

// Streams a take into a hidden WAV file in the takes folder whose header is
// kept valid as it grows, so a take cut short by a crash still plays.
// Saving gives that file its name with link(), which never replaces a file;
// memory use does not depend on the length of the take.
class WaveFileWriter : public TakeWriter {
  public:
    static constexpr int kSampleRate = 22050;

    explicit WaveFileWriter(std::string takes_folder);
    ~WaveFileWriter() override;
    WaveFileWriter(const WaveFileWriter&) = delete;
    WaveFileWriter& operator=(const WaveFileWriter&) = delete;

    bool begin() override;
    void append(std::span<const std::int16_t> frames) override;
    bool save_as(const std::string& name) override;
    void discard() override;
    std::string failure() const override { return failure_; }

    // The hidden file the current take is streamed into ("" when none).
    const std::string& temporary_path() const { return temporary_path_; }

  private:
    struct SndfileCloser {
        void operator()(SNDFILE* file) const { sf_close(file); }
    };
    using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

    // A descriptor closed when it goes out of use.
    class Descriptor {
      public:
        Descriptor() = default;
        explicit Descriptor(int fd) : fd_(fd) {}
        ~Descriptor() { reset(); }
        Descriptor(const Descriptor&) = delete;
        Descriptor& operator=(const Descriptor&) = delete;
        Descriptor& operator=(Descriptor&& other) noexcept;
        int get() const { return fd_; }
        void reset();

      private:
        int fd_ = -1;
    };

    bool reopen_for_more();
    bool store_copy(const std::string& target) const;

    std::string folder_;
    std::string temporary_path_;
    SndfileHandle file_;
    // Reads the take even after its hidden name is gone (the folder was
    // removed and made again), so what was recorded can still be saved.
    Descriptor take_reader_;
    // The hidden file is also a saved take's file: never write into it again.
    bool shared_with_saved_ = false;
    bool write_failed_ = false;
    std::string failure_;
};

}  // namespace taperly
