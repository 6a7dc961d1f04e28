#include "uploads/mp3_encoder.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

#include "recorder/takes/take_format.h"
#include "settings/utf8_path.h"

namespace taperly {

namespace {

// libsndfile reads and writes through a stream opened by its UTF-8 path, as
// its own opening of a path would read it in the system's code page on
// Windows.
struct Stream {
    std::fstream file;
    sf_count_t length = 0;
};

Stream& stream(void* user) {
    return *static_cast<Stream*>(user);
}

SF_VIRTUAL_IO stream_io() {
    SF_VIRTUAL_IO io{};
    io.get_filelen = [](void* user) -> sf_count_t { return stream(user).length; };
    io.seek = [](sf_count_t offset, int whence, void* user) -> sf_count_t {
        std::fstream& file = stream(user).file;
        file.clear();
        const auto way = whence == SEEK_SET   ? std::ios::beg
                         : whence == SEEK_CUR ? std::ios::cur
                                              : std::ios::end;
        file.seekg(offset, way);
        file.seekp(file.tellg());
        return static_cast<sf_count_t>(file.tellg());
    };
    io.read = [](void* into, sf_count_t count, void* user) -> sf_count_t {
        std::fstream& file = stream(user).file;
        file.read(static_cast<char*>(into), count);
        const sf_count_t got = file.gcount();
        file.clear();
        file.seekp(file.tellg());
        return got;
    };
    io.write = [](const void* from, sf_count_t count, void* user) -> sf_count_t {
        Stream& s = stream(user);
        s.file.write(static_cast<const char*>(from), count);
        if (!s.file) {
            return 0;
        }
        s.file.seekg(s.file.tellp());
        s.length = std::max<sf_count_t>(s.length, s.file.tellp());
        return count;
    };
    io.tell = [](void* user) -> sf_count_t {
        return static_cast<sf_count_t>(stream(user).file.tellg());
    };
    return io;
}

class SoundFile {
  public:
    SoundFile(const std::string& path, int mode, SF_INFO& info) {
        const auto flags = mode == SFM_READ
                               ? std::ios::in | std::ios::binary
                               : std::ios::in | std::ios::out | std::ios::trunc | std::ios::binary;
        stream_.file.open(utf8_path(path), flags);
        if (!stream_.file) {
            return;
        }
        if (mode == SFM_READ) {
            stream_.file.seekg(0, std::ios::end);
            stream_.length = stream_.file.tellg();
            stream_.file.seekg(0);
        }
        io_ = stream_io();
        sound_ = sf_open_virtual(&io_, mode, &info, &stream_);
    }
    ~SoundFile() { close(); }
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;

    SNDFILE* get() const { return sound_; }
    bool opened() const { return sound_ != nullptr; }
    // False when what was written could not all reach the file.
    bool close() {
        const bool closed = sound_ == nullptr || sf_close(sound_) == 0;
        sound_ = nullptr;
        if (stream_.file.is_open()) {
            stream_.file.flush();
            const bool written = static_cast<bool>(stream_.file);
            stream_.file.close();
            return closed && written;
        }
        return closed;
    }

  private:
    Stream stream_;
    SF_VIRTUAL_IO io_{};
    SNDFILE* sound_ = nullptr;
};

}  // namespace

std::string Mp3Encoder::encode_mp3(const std::string& take, const std::string& mp3,
                                   const std::atomic<bool>& cancelled) {
    SF_INFO in{};
    SoundFile source(take, SFM_READ, in);
    if (!source.opened()) {
        return "the take cannot be read: " + std::string(sf_strerror(nullptr));
    }
    if (in.channels != kTakeChannels || in.samplerate != kTakeSampleRate) {
        return "the take is not mono at " + std::to_string(kTakeSampleRate) + " Hz";
    }
    SF_INFO out{};
    out.samplerate = kTakeSampleRate;
    out.channels = kTakeChannels;
    out.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    if (sf_format_check(&out) == 0) {
        return "this libsndfile has no MP3 encoder";
    }
    SoundFile target(mp3, SFM_WRITE, out);
    if (!target.opened()) {
        return "the MP3 file cannot be made: " + std::string(sf_strerror(nullptr));
    }
    // A variable rate carries a header that tells players the exact length
    // (a constant one has none here, and decodes a frame's worth longer).
    int mode = SF_BITRATE_MODE_VARIABLE;
    sf_command(target.get(), SFC_SET_BITRATE_MODE, &mode, sizeof mode);
    double level = 0.5;
    sf_command(target.get(), SFC_SET_COMPRESSION_LEVEL, &level, sizeof level);
    std::vector<short> block(1 << 15);
    for (;;) {
        if (cancelled) {
            return "Taperly is closing";
        }
        const sf_count_t got =
            sf_readf_short(source.get(), block.data(), static_cast<sf_count_t>(block.size()));
        if (got <= 0) {
            break;
        }
        if (sf_writef_short(target.get(), block.data(), got) != got) {
            return "the MP3 file cannot be written: " + std::string(sf_strerror(target.get()));
        }
    }
    if (!target.close()) {
        return "the MP3 file cannot be written";
    }
    return {};
}

}  // namespace taperly
