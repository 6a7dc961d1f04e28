#pragma once

#include <memory>
#include <string>

#include "recorder/audio_input.h"
#include "recorder/recorder_control.h"
#include "recorder/take_writer.h"

namespace taperly {

// The recorder the rest of the program drives: "Open" starts a new take,
// "Record" captures into it (carrying on when already capturing), "stop"
// ends capture, "save" stores the take under FileName, "close" drops
// whatever was not saved. An order that does not apply does nothing, and no
// order ever raises.
class WaveRecorder : public RecorderControl {
  public:
    WaveRecorder(std::unique_ptr<AudioInput> input, std::unique_ptr<TakeWriter> writer);
    ~WaveRecorder() override;
    WaveRecorder(const WaveRecorder&) = delete;
    WaveRecorder& operator=(const WaveRecorder&) = delete;

    void setNotify(bool notify) override;
    void setWait(bool wait) override;
    void setShareable(bool shareable) override;
    void setDeviceType(const std::string& device_type) override;
    void setRecordMode(int record_mode) override;
    void setFileName(const std::string& file_name) override;
    std::string FileName() const override;
    void Command(const std::string& order) override;
    int Mode() const override;
    RecorderTrouble trouble() const override;
    void set_take_start(const std::string& started) override;

  private:
    void set_trouble(RecorderTrouble trouble);
    void open();
    void record();
    void stop();
    void save();
    void close();
    void take_frames(std::span<const std::int16_t> frames);

    // The writer outlives the input, so capture never delivers into a
    // writer that is gone.
    std::unique_ptr<TakeWriter> writer_;
    std::unique_ptr<AudioInput> input_;
    std::string file_name_;
    std::string take_start_;
    bool open_ = false;
    bool recording_ = false;
    bool stopped_ = false;
    // A take whose sound input never started leaves no file, not an empty one.
    bool nothing_could_be_captured() const {
        return !captured_any_ && trouble_.kind == RecorderTrouble::Kind::kNoInput;
    }
    bool captured_any_ = false;
    RecorderTrouble trouble_;
};

// Whether a name may be saved in the takes folder: a plain file name that
// cannot reach outside it.
bool is_bare_file_name(const std::string& name);

}  // namespace taperly
