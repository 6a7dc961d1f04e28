#include "playback/sound_output.h"

namespace taperly {

namespace {

// A Linux build made without libpulse hears nothing, and says so.
class NoSoundOutput : public SoundOutput {
  public:
    bool open(std::string& problem) override {
        problem = "this build of Taperly has no sound output (it was built without libpulse)";
        return false;
    }
    int rate() const override { return 22050; }
    long room(std::string& problem) override {
        problem = "none";
        return -1;
    }
    long queued() override { return 0; }
    void write(std::span<const std::int16_t>) override {}
    void drop() override {}
    void set_paused(bool) override {}
};

}  // namespace

std::unique_ptr<SoundOutput> make_sound_output() {
    return std::make_unique<NoSoundOutput>();
}

}  // namespace taperly
