#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace taperly {

// How a sound device's samples are stored, interleaved frame by frame.
enum class SampleEncoding {
    kFloat32,  // -1.0 to 1.0 at full scale, and beyond it when a mix is too loud
    kInt16,
    kInt32,  // 24-bit sound comes left-aligned in these too
};

struct DeviceFormat {
    SampleEncoding encoding = SampleEncoding::kFloat32;
    int channels = 0;
    int rate = 0;
    bool operator==(const DeviceFormat&) const = default;
};

// Turns a device's sound, packet after packet, into the takes' 16-bit mono at
// kCaptureRate: channels averaged, low-passed below the takes' half rate so
// nothing above it folds back into the sound, resampled and clipped. It keeps
// what the filter still needs between packets, so packets of any size join
// without a click, a lost or a doubled sample; the sound comes out
// delay_frames() input frames later than it went in, and after n input frames
// exactly ceil(n * kCaptureRate / rate) output frames have come out in all.
class SampleConversion {
  public:
    // `format` must have at least one channel and a positive rate.
    explicit SampleConversion(DeviceFormat format);

    // Appends to `out` what `frames` frames of the device's sound at `data`
    // make.
    void convert(const void* data, std::size_t frames, std::vector<std::int16_t>& out);
    // The same for frames the device marked silent, whatever their bytes.
    void convert_silence(std::size_t frames, std::vector<std::int16_t>& out);

    const DeviceFormat& format() const { return format_; }
    int delay_frames() const { return delay_; }

  private:
    float mono_sample(const unsigned char* frame) const;
    void take_in(float mono, std::vector<std::int16_t>& out);
    float filtered() const;
    float kernel_at(double distance) const;

    DeviceFormat format_;
    std::size_t frame_bytes_;
    // The low-pass kernel from its centre out, kTableSteps points to an input
    // frame, read between points by straight lines.
    std::vector<float> kernel_;
    double kernel_reach_;
    // Where the two rates stand in a small ratio (48000, 44100, 16000 and
    // their kin), the output frames fall on few places between input frames:
    // each place's weights are worked out once, delay_ * 2 + 1 of them.
    std::vector<float> place_weights_;
    std::int64_t place_step_ = 1;
    int delay_;
    // The input frames the next output frame needs, oldest first; the first
    // 2 * delay_ of them are the silence before the stream began.
    std::vector<float> history_;
    // Where the next output frame lies in the input, in whole frames from
    // history_'s start and in kCaptureRate-ths of a frame.
    std::size_t next_whole_ = 0;
    std::int64_t next_part_ = 0;
};

}  // namespace taperly
