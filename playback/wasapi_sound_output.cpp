#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <mmreg.h>
#include <wrl/client.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include "playback/sound_output.h"

namespace taperly {

namespace {

using Microsoft::WRL::ComPtr;

// What Windows holds for us, in 100 ns units: as the PulseAudio twin, enough
// that a busy machine holding the player's thread up is not heard; a pause
// or a jump stops the stream and is heard at once all the same.
constexpr REFERENCE_TIME kBufferDuration = 10'000'000;

// KSDATAFORMAT_SUBTYPE_PCM and _IEEE_FLOAT, which MinGW-w64's libraries
// leave undefined: the format tag in the standard base GUID.
constexpr GUID kSubtypePcm{
    WAVE_FORMAT_PCM, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
constexpr GUID kSubtypeFloat{
    WAVE_FORMAT_IEEE_FLOAT, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// How the device's mix format stores a frame.
struct MixFormat {
    enum class Encoding { kFloat32, kInt16, kInt32 } encoding = Encoding::kFloat32;
    int channels = 0;
    int rate = 0;
};

std::optional<MixFormat> mix_format(const WAVEFORMATEX& format) {
    WORD tag = format.wFormatTag;
    if (tag == WAVE_FORMAT_EXTENSIBLE && format.cbSize >= 22) {
        const auto& extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(format);
        if (IsEqualGUID(extensible.SubFormat, kSubtypeFloat)) {
            tag = WAVE_FORMAT_IEEE_FLOAT;
        } else if (IsEqualGUID(extensible.SubFormat, kSubtypePcm)) {
            tag = WAVE_FORMAT_PCM;
        }
    }
    MixFormat mix;
    if (tag == WAVE_FORMAT_IEEE_FLOAT && format.wBitsPerSample == 32) {
        mix.encoding = MixFormat::Encoding::kFloat32;
    } else if (tag == WAVE_FORMAT_PCM && format.wBitsPerSample == 16) {
        mix.encoding = MixFormat::Encoding::kInt16;
    } else if (tag == WAVE_FORMAT_PCM && format.wBitsPerSample == 32) {
        mix.encoding = MixFormat::Encoding::kInt32;
    } else {
        return std::nullopt;
    }
    mix.channels = format.nChannels;
    mix.rate = static_cast<int>(format.nSamplesPerSec);
    if (mix.channels <= 0 || mix.rate <= 0 ||
        format.nBlockAlign != mix.channels * format.wBitsPerSample / 8) {
        return std::nullopt;
    }
    return mix;
}

std::string error_words(const char* what, HRESULT result) {
    if (result == AUDCLNT_E_DEVICE_INVALIDATED) {
        return "the sound output device went away";
    }
    char code[16];
    std::snprintf(code, sizeof code, "%08lx", static_cast<unsigned long>(result));
    return std::string(what) + " (error 0x" + code + ")";
}

// Windows' default output device through WASAPI in shared mode: the
// player's mono frames, already at the device's rate, written into every
// channel in the device's own sample format. Made, used and destroyed on
// the player's thread, which owns its COM objects.
class WasapiSoundOutput : public SoundOutput {
  public:
    WasapiSoundOutput() = default;
    ~WasapiSoundOutput() override {
        if (client_) {
            client_->Stop();
        }
        render_.Reset();
        client_.Reset();
        if (com_) {
            CoUninitialize();
        }
    }
    WasapiSoundOutput(const WasapiSoundOutput&) = delete;
    WasapiSoundOutput& operator=(const WasapiSoundOutput&) = delete;

    bool open(std::string& problem) override;
    int rate() const override { return format_.rate; }
    long room(std::string& problem) override;
    long queued() override;
    void write(std::span<const std::int16_t> frames) override;
    void drop() override;
    void set_paused(bool paused) override;

  private:
    void fail(const std::string& why) {
        if (why_.empty()) {
            why_ = why;
        }
    }
    void put(std::span<const std::int16_t> frames, BYTE* into) const;

    bool com_ = false;
    ComPtr<IAudioClient> client_;
    ComPtr<IAudioRenderClient> render_;
    MixFormat format_;
    UINT32 buffer_frames_ = 0;
    bool started_ = false;
    bool paused_ = false;
    // Why the output failed; empty while it works.
    std::string why_;
};

bool WasapiSoundOutput::open(std::string& problem) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    com_ = SUCCEEDED(com);
    ComPtr<IMMDeviceEnumerator> devices;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                IID_PPV_ARGS(&devices)))) {
        problem = "Windows' sound devices cannot be reached";
        return false;
    }
    ComPtr<IMMDevice> device;
    if (FAILED(devices->GetDefaultAudioEndpoint(eRender, eConsole, &device))) {
        problem = "Windows has no sound output device (are speakers or headphones there?)";
        return false;
    }
    HRESULT result = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                      reinterpret_cast<void**>(client_.GetAddressOf()));
    if (FAILED(result)) {
        problem = error_words("the sound output device cannot be opened", result);
        return false;
    }
    WAVEFORMATEX* mix = nullptr;
    result = client_->GetMixFormat(&mix);
    if (FAILED(result)) {
        problem = error_words("the sound output device tells no format", result);
        return false;
    }
    const std::optional<MixFormat> format = mix_format(*mix);
    result =
        format ? client_->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, kBufferDuration, 0, mix, nullptr)
               : E_FAIL;
    CoTaskMemFree(mix);
    if (!format) {
        problem = "the sound output device's format is not one Taperly can play";
        return false;
    }
    if (SUCCEEDED(result)) {
        result = client_->GetBufferSize(&buffer_frames_);
    }
    if (SUCCEEDED(result)) {
        result = client_->GetService(IID_PPV_ARGS(&render_));
    }
    if (FAILED(result)) {
        problem = error_words("the sound output device cannot be played on", result);
        return false;
    }
    format_ = *format;
    return true;
}

long WasapiSoundOutput::room(std::string& problem) {
    UINT32 padding = 0;
    if (why_.empty()) {
        const HRESULT result = client_->GetCurrentPadding(&padding);
        if (FAILED(result)) {
            fail(error_words("the sound output device stopped playing", result));
        }
    }
    if (!why_.empty()) {
        problem = why_;
        return -1;
    }
    // No more than the buffer asked for, whatever Windows made of it.
    const auto wanted = std::min<UINT32>(
        buffer_frames_, static_cast<UINT32>(format_.rate * kBufferDuration / 10'000'000));
    return wanted > padding ? static_cast<long>(wanted - padding) : 0;
}

long WasapiSoundOutput::queued() {
    UINT32 padding = 0;
    if (!why_.empty() || FAILED(client_->GetCurrentPadding(&padding))) {
        return 0;
    }
    return static_cast<long>(padding);
}

void WasapiSoundOutput::put(std::span<const std::int16_t> frames, BYTE* into) const {
    const auto channels = static_cast<std::size_t>(format_.channels);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        for (std::size_t c = 0; c < channels; ++c) {
            const std::size_t at = i * channels + c;
            switch (format_.encoding) {
                case MixFormat::Encoding::kFloat32: {
                    const float value = static_cast<float>(frames[i]) / 32768.0f;
                    std::memcpy(into + 4 * at, &value, 4);
                    break;
                }
                case MixFormat::Encoding::kInt16:
                    std::memcpy(into + 2 * at, &frames[i], 2);
                    break;
                case MixFormat::Encoding::kInt32: {
                    const std::int32_t value = static_cast<std::int32_t>(frames[i]) * 65536;
                    std::memcpy(into + 4 * at, &value, 4);
                    break;
                }
            }
        }
    }
}

void WasapiSoundOutput::write(std::span<const std::int16_t> frames) {
    if (!why_.empty() || frames.empty()) {
        return;
    }
    BYTE* data = nullptr;
    const auto count = static_cast<UINT32>(frames.size());
    HRESULT result = render_->GetBuffer(count, &data);
    if (SUCCEEDED(result)) {
        put(frames, data);
        result = render_->ReleaseBuffer(count, 0);
    }
    // Started once there is sound to play: an empty buffer would only play
    // silence.
    if (SUCCEEDED(result) && !started_ && !paused_) {
        result = client_->Start();
        started_ = SUCCEEDED(result);
    }
    if (FAILED(result)) {
        fail(error_words("the sound output device refuses sound", result));
    }
}

void WasapiSoundOutput::drop() {
    if (!why_.empty()) {
        return;
    }
    client_->Stop();
    started_ = false;
    const HRESULT result = client_->Reset();
    if (FAILED(result)) {
        fail(error_words("the sound output device cannot be reset", result));
    }
}

void WasapiSoundOutput::set_paused(bool paused) {
    if (paused == paused_ || !why_.empty()) {
        return;
    }
    paused_ = paused;
    if (paused && started_) {
        client_->Stop();
        started_ = false;
    } else if (!paused) {
        UINT32 padding = 0;
        if (SUCCEEDED(client_->GetCurrentPadding(&padding)) && padding > 0) {
            started_ = SUCCEEDED(client_->Start());
        }
    }
}

}  // namespace

std::unique_ptr<SoundOutput> make_sound_output() {
    return std::make_unique<WasapiSoundOutput>();
}

}  // namespace taperly
