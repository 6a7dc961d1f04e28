#include "recorder/capture/wasapi_capture.h"

#include <windows.h>

#include <audioclient.h>
#include <mmreg.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>

#include "recorder/capture/audio_input.h"
#include "recorder/capture/capture_dating.h"
#include "recorder/capture/sample_conversion.h"
#include "recorder/capture/wasapi_device.h"

namespace taperly {

namespace {

using Microsoft::WRL::ComPtr;

// What the device may hold for us between two visits, in 100 ns units: far
// more than the longest piece, so that a busy machine loses nothing. Asked
// for no size, Wine's PulseAudio driver holds three periods (30 ms), which
// overflow long before the next visit.
constexpr REFERENCE_TIME kBufferDuration = 20'000'000;
// A device that is open hands over a packet every period, silent or not; one
// that has handed over none for this long has stopped (Wine's driver says
// nothing else when the sound server went away), and a take would otherwise
// go on without sound and without a word.
constexpr std::chrono::seconds kStalledAfter{2};
// A gap the device reports beyond this is no gap but a position reset.
constexpr std::uint64_t kLongestGapSeconds = 10;

// KSDATAFORMAT_SUBTYPE_PCM and _IEEE_FLOAT, which MinGW-w64's libraries
// leave undefined: the format tag in the standard base GUID.
constexpr GUID kSubtypePcm{
    WAVE_FORMAT_PCM, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
constexpr GUID kSubtypeFloat{
    WAVE_FORMAT_IEEE_FLOAT, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

std::optional<DeviceFormat> device_format(const WAVEFORMATEX& format) {
    WORD tag = format.wFormatTag;
    if (tag == WAVE_FORMAT_EXTENSIBLE && format.cbSize >= 22) {
        const auto& extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(format);
        if (IsEqualGUID(extensible.SubFormat, kSubtypeFloat)) {
            tag = WAVE_FORMAT_IEEE_FLOAT;
        } else if (IsEqualGUID(extensible.SubFormat, kSubtypePcm)) {
            tag = WAVE_FORMAT_PCM;
        }
    }
    DeviceFormat device;
    if (tag == WAVE_FORMAT_IEEE_FLOAT && format.wBitsPerSample == 32) {
        device.encoding = SampleEncoding::kFloat32;
    } else if (tag == WAVE_FORMAT_PCM && format.wBitsPerSample == 16) {
        device.encoding = SampleEncoding::kInt16;
    } else if (tag == WAVE_FORMAT_PCM && format.wBitsPerSample == 32) {
        device.encoding = SampleEncoding::kInt32;
    } else {
        return std::nullopt;
    }
    device.channels = format.nChannels;
    device.rate = static_cast<int>(format.nSamplesPerSec);
    const int sample_bytes = format.wBitsPerSample / 8;
    if (device.channels <= 0 || device.rate <= 0 ||
        format.nBlockAlign != device.channels * sample_bytes) {
        return std::nullopt;
    }
    return device;
}

std::string error_words(const char* what, HRESULT result) {
    if (result == AUDCLNT_E_DEVICE_INVALIDATED) {
        return "the recording device went away";
    }
    char code[16];
    std::snprintf(code, sizeof code, "%08lx", static_cast<unsigned long>(result));
    return std::string(what) + " (error 0x" + code + ")";
}

// Now on the scale of WASAPI's QPC positions, 100 ns units.
std::uint64_t qpc_now() {
    LARGE_INTEGER count;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    const auto ticks = static_cast<std::uint64_t>(count.QuadPart);
    const auto per_second = static_cast<std::uint64_t>(frequency.QuadPart);
    return ticks / per_second * 10'000'000 + ticks % per_second * 10'000'000 / per_second;
}

// An opened, started stream and what turns its packets into frames.
struct Stream {
    ComPtr<IAudioClient> client;
    ComPtr<IAudioCaptureClient> capture;
    std::optional<SampleConversion> conversion;
};

std::optional<Stream> open_stream(const std::string& wanted, std::string& problem) {
    const ComPtr<IMMDevice> device = open_recording_device(wanted, problem);
    if (!device) {
        return std::nullopt;
    }
    Stream stream;
    HRESULT result = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                      reinterpret_cast<void**>(stream.client.GetAddressOf()));
    if (FAILED(result)) {
        problem = error_words("the recording device cannot be opened", result);
        return std::nullopt;
    }
    WAVEFORMATEX* mix = nullptr;
    result = stream.client->GetMixFormat(&mix);
    if (FAILED(result)) {
        problem = error_words("the recording device tells no format", result);
        return std::nullopt;
    }
    const std::optional<DeviceFormat> format = device_format(*mix);
    result = format ? stream.client->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, kBufferDuration, 0,
                                                mix, nullptr)
                    : E_FAIL;
    CoTaskMemFree(mix);
    if (!format) {
        problem = "the recording device's sound format is not one Taperly can read";
        return std::nullopt;
    }
    if (FAILED(result)) {
        problem = error_words("the recording device cannot be recorded from", result);
        return std::nullopt;
    }
    result = stream.client->GetService(IID_PPV_ARGS(&stream.capture));
    if (SUCCEEDED(result)) {
        result = stream.client->Start();
    }
    if (FAILED(result)) {
        problem = error_words("the recording device cannot be recorded from", result);
        return std::nullopt;
    }
    stream.conversion.emplace(*format);
    return stream;
}

}  // namespace

struct WasapiCapture::Shared {
    Shared(std::string wanted, std::chrono::milliseconds piece, std::chrono::milliseconds gather,
           std::function<void()> wake)
        : wanted(std::move(wanted)),
          orders(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          piece(piece),
          gather(gather),
          dating(kCaptureRate),
          wake(std::move(wake)) {}
    ~Shared() {
        if (orders != nullptr) {
            CloseHandle(orders);
        }
    }
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;

    void run();
    void fail(const std::string& why);
    void wake_reader();

    const std::string wanted;
    std::atomic<State> state{State::kOpening};
    std::atomic<bool> quit{false};
    std::atomic<bool> wake_pending{false};
    // Wakes the capture's thread for an order.
    const HANDLE orders;

    mutable std::mutex mutex;
    std::condition_variable collected_changed;
    std::chrono::milliseconds piece;
    std::chrono::milliseconds gather;
    std::uint64_t asked = 0;
    std::uint64_t collected = 0;
    // The thread has let go of everything of Windows' it held.
    bool ended = false;
    std::string problem;
    std::vector<std::int16_t> captured;
    CaptureDating dating;

    // Emptied when the handle goes: the reader may be gone by then.
    std::mutex wake_mutex;
    std::function<void()> wake;
};

WasapiCapture::WasapiCapture(std::string wanted, std::chrono::milliseconds piece,
                             std::chrono::milliseconds gather, std::function<void()> wake)
    : shared_(std::make_shared<Shared>(std::move(wanted), piece, gather, std::move(wake))) {
    if (shared_->orders == nullptr) {
        shared_->problem = "Windows gives the capture no event";
        shared_->state = State::kFailed;
        return;
    }
    std::thread([shared = shared_] { shared->run(); }).detach();
}

WasapiCapture::~WasapiCapture() {
    {
        std::lock_guard lock(shared_->wake_mutex);
        shared_->wake = nullptr;
    }
    shared_->quit = true;
    if (shared_->orders != nullptr) {
        SetEvent(shared_->orders);
        // A thread still releasing its device when the program exits takes
        // the process down with it; one that Windows' sound service holds
        // longer than this is left to end by itself rather than hang a stop.
        std::unique_lock lock(shared_->mutex);
        shared_->collected_changed.wait_for(lock, std::chrono::seconds(2),
                                            [&] { return shared_->ended; });
    }
}

WasapiCapture::State WasapiCapture::state() const {
    return shared_->state;
}

std::string WasapiCapture::problem() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->problem;
}

WasapiCapture::Clock::time_point WasapiCapture::take(std::vector<std::int16_t>& into) {
    shared_->wake_pending = false;
    std::lock_guard lock(shared_->mutex);
    into.insert(into.end(), shared_->captured.begin(), shared_->captured.end());
    shared_->captured.clear();
    return shared_->dating.newest();
}

void WasapiCapture::collect_now(std::chrono::milliseconds limit) {
    std::unique_lock lock(shared_->mutex);
    const std::uint64_t request = ++shared_->asked;
    SetEvent(shared_->orders);
    shared_->collected_changed.wait_for(lock, limit, [&] {
        return shared_->collected >= request || shared_->state == State::kFailed;
    });
}

void WasapiCapture::set_pace(std::chrono::milliseconds piece, std::chrono::milliseconds gather) {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->piece = piece;
        shared_->gather = gather;
    }
    SetEvent(shared_->orders);
}

void WasapiCapture::Shared::wake_reader() {
    if (!wake_pending.exchange(true)) {
        std::lock_guard lock(wake_mutex);
        if (wake) {
            wake();
        }
    }
}

void WasapiCapture::Shared::fail(const std::string& why) {
    {
        std::lock_guard lock(mutex);
        problem = why;
        state = State::kFailed;
    }
    collected_changed.notify_all();
    wake_reader();
}

void WasapiCapture::Shared::run() {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::string why;
    std::optional<Stream> stream = open_stream(wanted, why);
    if (!stream) {
        fail(why);
    } else {
        state = State::kCapturing;
        wake_reader();
    }
    const int delay = stream ? stream->conversion->delay_frames() : 0;
    const int rate = stream ? stream->conversion->format().rate : 1;
    std::optional<std::uint64_t> next_position;
    std::vector<std::int16_t> frames;
    auto last_packet_at = Clock::now();
    while (!quit) {
        std::uint64_t asked_now = 0;
        std::chrono::milliseconds piece_now{};
        {
            std::lock_guard lock(mutex);
            asked_now = asked;
            piece_now = piece;
        }
        // Every packet the device holds is taken each time: it hands sound
        // over in packets of one period each, many to a visit.
        std::optional<Clock::time_point> newest_at;
        bool restart_dating = false;
        HRESULT result = S_OK;
        while (state == State::kCapturing) {
            UINT32 waiting = 0;
            result = stream->capture->GetNextPacketSize(&waiting);
            if (FAILED(result) || waiting == 0) {
                break;
            }
            BYTE* data = nullptr;
            UINT32 count = 0;
            DWORD flags = 0;
            UINT64 position = 0;
            UINT64 qpc = 0;
            result = stream->capture->GetBuffer(&data, &count, &flags, &position, &qpc);
            if (FAILED(result) || result == AUDCLNT_S_BUFFER_EMPTY) {
                break;
            }
            const auto arrived = Clock::now();
            const std::uint64_t arrived_qpc = qpc_now();
            last_packet_at = arrived;
            // Frames the device lost are silence here, so that the sound
            // after them keeps its time.
            if (next_position && position > *next_position &&
                position - *next_position <=
                    kLongestGapSeconds * static_cast<std::uint64_t>(rate)) {
                stream->conversion->convert_silence(
                    static_cast<std::size_t>(position - *next_position), frames);
            } else if (next_position && position != *next_position) {
                restart_dating = true;
            }
            next_position = position + count;
            if ((flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0) {
                stream->conversion->convert_silence(count, frames);
            } else {
                stream->conversion->convert(data, count, frames);
            }
            result = stream->capture->ReleaseBuffer(count);
            if (FAILED(result)) {
                break;
            }
            // The packet's first frame was captured at its QPC position; the
            // newest frame out of the filter lies its delay before the last.
            auto newest = arrived;
            const bool dated = (flags & AUDCLNT_BUFFERFLAGS_TIMESTAMP_ERROR) == 0 && qpc != 0 &&
                               qpc <= arrived_qpc && arrived_qpc - qpc < 50'000'000;
            if (dated) {
                newest -= std::chrono::duration_cast<Clock::duration>(
                    std::chrono::nanoseconds((arrived_qpc - qpc) * 100));
                newest += std::chrono::duration_cast<Clock::duration>(
                    std::chrono::duration<double>(static_cast<double>(count) - 1 - delay) / rate);
            }
            newest_at = newest;
        }
        if (FAILED(result) && state == State::kCapturing) {
            fail(error_words("the recording device stopped delivering sound", result));
        } else if (state == State::kCapturing && Clock::now() - last_packet_at > kStalledAfter) {
            fail("the recording device stopped delivering sound");
        }
        bool gathered = false;
        {
            std::lock_guard lock(mutex);
            if (restart_dating) {
                dating.restart();
            }
            if (!frames.empty() && newest_at) {
                dating.arrived(frames.size(), *newest_at);
            }
            captured.insert(captured.end(), frames.begin(), frames.end());
            gathered =
                captured.size() >= static_cast<std::size_t>(gather.count()) * kCaptureRate / 1000;
            collected = std::max(collected, asked_now);
        }
        frames.clear();
        collected_changed.notify_all();
        if (gathered) {
            wake_reader();
        }
        // A failed capture only waits for its end.
        WaitForSingleObject(
            orders, state == State::kFailed ? INFINITE : static_cast<DWORD>(piece_now.count()));
    }
    if (stream) {
        stream->client->Stop();
    }
    stream.reset();
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    {
        std::lock_guard lock(mutex);
        ended = true;
    }
    collected_changed.notify_all();
}

}  // namespace taperly
