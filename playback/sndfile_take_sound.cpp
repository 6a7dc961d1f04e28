#include "playback/sndfile_take_sound.h"

#include <sndfile.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "settings/utf8_path.h"

namespace taperly {

namespace {

// libsndfile is handed the file through these: a stream opened from a UTF-8
// path names the same file on every system, where libsndfile's own opening
// would read the path in Windows' code page.
sf_count_t stream_length(void* user) {
    auto& stream = *static_cast<std::ifstream*>(user);
    stream.clear();
    const auto at = stream.tellg();
    stream.seekg(0, std::ios::end);
    const auto end = stream.tellg();
    stream.seekg(at);
    return end;
}

sf_count_t stream_seek(sf_count_t offset, int whence, void* user) {
    auto& stream = *static_cast<std::ifstream*>(user);
    stream.clear();
    const auto way = whence == SEEK_SET   ? std::ios::beg
                     : whence == SEEK_CUR ? std::ios::cur
                                          : std::ios::end;
    stream.seekg(offset, way);
    return stream ? static_cast<sf_count_t>(stream.tellg()) : -1;
}

sf_count_t stream_read(void* into, sf_count_t count, void* user) {
    auto& stream = *static_cast<std::ifstream*>(user);
    stream.read(static_cast<char*>(into), count);
    return stream.gcount();
}

sf_count_t no_write(const void*, sf_count_t, void*) {
    return 0;
}

sf_count_t stream_tell(void* user) {
    auto& stream = *static_cast<std::ifstream*>(user);
    stream.clear();
    return stream.tellg();
}

class SndfileTakeSound : public TakeSound {
  public:
    SndfileTakeSound(std::unique_ptr<std::ifstream> stream, SNDFILE* sound, const SF_INFO& info)
        : stream_(std::move(stream)), sound_(sound), info_(info) {}
    ~SndfileTakeSound() override { sf_close(sound_); }
    SndfileTakeSound(const SndfileTakeSound&) = delete;
    SndfileTakeSound& operator=(const SndfileTakeSound&) = delete;

    int rate() const override { return info_.samplerate; }
    std::int64_t frames() const override { return info_.frames; }

    std::size_t read(std::int64_t at, std::span<std::int16_t> into) override {
        if (at != position_) {
            if (sf_seek(sound_, at, SEEK_SET) < 0) {
                return 0;
            }
            position_ = at;
        }
        const int channels = info_.channels;
        if (channels == 1) {
            const sf_count_t got =
                sf_readf_short(sound_, into.data(), static_cast<sf_count_t>(into.size()));
            position_ += std::max<sf_count_t>(got, 0);
            return static_cast<std::size_t>(std::max<sf_count_t>(got, 0));
        }
        // Every channel heard alike: their mean.
        interleaved_.resize(into.size() * static_cast<std::size_t>(channels));
        const sf_count_t got =
            sf_readf_short(sound_, interleaved_.data(), static_cast<sf_count_t>(into.size()));
        const auto count = static_cast<std::size_t>(std::max<sf_count_t>(got, 0));
        for (std::size_t i = 0; i < count; ++i) {
            int sum = 0;
            for (int c = 0; c < channels; ++c) {
                sum += interleaved_[i * static_cast<std::size_t>(channels) +
                                    static_cast<std::size_t>(c)];
            }
            into[i] = static_cast<std::int16_t>(sum / channels);
        }
        position_ += static_cast<std::int64_t>(count);
        return count;
    }

  private:
    std::unique_ptr<std::ifstream> stream_;
    SNDFILE* sound_;
    SF_INFO info_;
    std::int64_t position_ = 0;
    std::vector<std::int16_t> interleaved_;
};

}  // namespace

std::unique_ptr<TakeSound> open_sndfile_take(const std::string& path, std::string& problem) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(utf8_path(path), error)) {
        problem = "the file is not there";
        return nullptr;
    }
    auto stream = std::make_unique<std::ifstream>(utf8_path(path), std::ios::binary);
    if (!*stream) {
        problem = "the file cannot be opened";
        return nullptr;
    }
    static SF_VIRTUAL_IO calls{stream_length, stream_seek, stream_read, no_write, stream_tell};
    SF_INFO info{};
    SNDFILE* sound = sf_open_virtual(&calls, SFM_READ, &info, stream.get());
    if (sound == nullptr) {
        problem = std::string("it is not sound libsndfile reads (") + sf_strerror(nullptr) + ")";
        return nullptr;
    }
    if (info.channels <= 0 || info.samplerate <= 0) {
        sf_close(sound);
        problem = "it holds no sound";
        return nullptr;
    }
    return std::make_unique<SndfileTakeSound>(std::move(stream), sound, info);
}

}  // namespace taperly
