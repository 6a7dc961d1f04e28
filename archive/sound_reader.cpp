#include "archive/sound_reader.h"

#include <sndfile.h>

#include "settings/utf8_path.h"

namespace taperly {

namespace {

std::ifstream& stream(void* user) {
    return *static_cast<std::ifstream*>(user);
}

sf_count_t stream_length(void* user) {
    std::ifstream& file = stream(user);
    const auto here = file.tellg();
    file.seekg(0, std::ios::end);
    const auto length = file.tellg();
    file.seekg(here);
    return length;
}

sf_count_t stream_seek(sf_count_t offset, int whence, void* user) {
    std::ifstream& file = stream(user);
    file.clear();
    const auto way = whence == SEEK_SET   ? std::ios::beg
                     : whence == SEEK_CUR ? std::ios::cur
                                          : std::ios::end;
    file.seekg(offset, way);
    return file ? static_cast<sf_count_t>(file.tellg()) : -1;
}

sf_count_t stream_read(void* into, sf_count_t count, void* user) {
    std::ifstream& file = stream(user);
    file.read(static_cast<char*>(into), count);
    const sf_count_t got = file.gcount();
    file.clear();
    return got;
}

sf_count_t stream_write(const void*, sf_count_t, void*) {
    return 0;
}

sf_count_t stream_tell(void* user) {
    return stream(user).tellg();
}

}  // namespace

SoundReader::SoundReader(const std::string& path) : file_(utf8_path(path), std::ios::binary) {
    if (!file_) {
        error_ = "it cannot be opened";
        return;
    }
    SF_VIRTUAL_IO calls{stream_length, stream_seek, stream_read, stream_write, stream_tell};
    SF_INFO info{};
    sound_ = sf_open_virtual(&calls, SFM_READ, &info, &file_);
    if (sound_ == nullptr) {
        error_ = sf_strerror(nullptr);
        return;
    }
    frames_ = info.frames;
    sample_rate_ = info.samplerate;
    channels_ = info.channels;
    is_16_bit_ = (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16;
}

SoundReader::~SoundReader() {
    if (sound_ != nullptr) {
        sf_close(sound_);
    }
}

std::string SoundReader::tag(int kind) const {
    const char* text = sound_ != nullptr ? sf_get_string(sound_, kind) : nullptr;
    return text != nullptr ? text : "";
}

std::int64_t SoundReader::read(std::int16_t* into, std::int64_t frames) {
    return sound_ != nullptr ? sf_readf_short(sound_, into, frames) : 0;
}

}  // namespace taperly
