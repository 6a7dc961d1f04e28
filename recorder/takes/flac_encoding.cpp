#include "recorder/takes/flac_encoding.h"

#include <sndfile.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "recorder/takes/take_format.h"
#include "recorder/takes/take_layout.h"
#include "settings/file_exists.h"

namespace taperly {

namespace {

// Read and written a block at a time: memory use does not grow with the take.
constexpr std::int64_t kBlockFrames = 1 << 15;

// libsndfile reads and writes the hidden file through these, so that the
// file stays the one made and held for the take, on every system.
struct VirtualFile {
    NativeFile* file = nullptr;
    sf_count_t position = 0;
    // The system's reason for the first failed call, which libsndfile's own
    // words would hide ("No space left on device").
    int error = 0;
};

VirtualFile& context(void* user) {
    return *static_cast<VirtualFile*>(user);
}

sf_count_t file_length(void* user) {
    return context(user).file->size();
}

sf_count_t seek(sf_count_t offset, int whence, void* user) {
    VirtualFile& file = context(user);
    sf_count_t base = 0;
    if (whence == SEEK_CUR) {
        base = file.position;
    } else if (whence == SEEK_END) {
        base = file.file->size();
    }
    if (base < 0 || base + offset < 0) {
        return -1;
    }
    file.position = base + offset;
    return file.position;
}

sf_count_t read(void* into, sf_count_t count, void* user) {
    VirtualFile& file = context(user);
    const std::int64_t got = file.file->read_at(file.position, into, count);
    if (got < 0) {
        file.error = file.error != 0 ? file.error : errno;
        return 0;
    }
    file.position += got;
    return got;
}

sf_count_t write(const void* from, sf_count_t count, void* user) {
    VirtualFile& file = context(user);
    errno = 0;
    const std::int64_t put = file.file->write_at(file.position, from, count);
    if (put != count && file.error == 0) {
        file.error = errno != 0 ? errno : EIO;
    }
    file.position += put > 0 ? put : 0;
    return put > 0 ? put : 0;
}

sf_count_t tell(void* user) {
    return context(user).position;
}

SF_VIRTUAL_IO virtual_io() {
    return SF_VIRTUAL_IO{&file_length, &seek, &read, &write, &tell};
}

bool ending(const FlacSource& source) {
    return source.ending != nullptr && *source.ending;
}

std::string reason_of(const VirtualFile& file, SNDFILE* sound) {
    return file.error != 0 ? std::strerror(file.error) : sf_strerror(sound);
}

// The WAV's samples from `first` on, `count` of them.
bool read_wav(const FlacSource& source, std::int64_t first, std::vector<std::int16_t>& samples) {
    const auto bytes = static_cast<std::int64_t>(samples.size()) * kTakeBytesPerFrame;
    return source.wav->read_at(kTakeHeaderSize + first * kTakeBytesPerFrame, samples.data(),
                               bytes) == bytes;
}

void set_tags(SNDFILE* sound, const TakeTags& tags) {
    const std::pair<int, const std::string*> fields[] = {{SF_STR_TITLE, &tags.title},
                                                         {SF_STR_COMMENT, &tags.comment},
                                                         {SF_STR_DATE, &tags.created},
                                                         {SF_STR_SOFTWARE, &tags.software}};
    for (const auto& [kind, text] : fields) {
        if (!text->empty()) {
            sf_set_string(sound, kind, text->c_str());
        }
    }
}

// The take encoded into `file`, closed and on the disk; empty, else why not.
std::string encode(const FlacSource& source, NativeFile& file) {
    VirtualFile io{&file};
    SF_VIRTUAL_IO calls = virtual_io();
    SF_INFO info{};
    info.samplerate = kTakeSampleRate;
    info.channels = kTakeChannels;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE* sound = sf_open_virtual(&calls, SFM_WRITE, &info, &io);
    if (sound == nullptr) {
        return std::string("libsndfile cannot write FLAC: ") + sf_strerror(nullptr);
    }
    // libsndfile places tags only before the first frame.
    set_tags(sound, source.tags);
    std::vector<std::int16_t> samples;
    std::string failure;
    for (std::int64_t done = 0; done < source.frames && failure.empty();) {
        samples.resize(static_cast<std::size_t>(std::min(kBlockFrames, source.frames - done)));
        if (ending(source)) {
            failure = kEndingReason;
        } else if (!read_wav(source, done, samples)) {
            failure = std::string("the take could not be read: ") + std::strerror(errno);
        } else if (sf_writef_short(sound, samples.data(),
                                   static_cast<sf_count_t>(samples.size())) !=
                   static_cast<sf_count_t>(samples.size())) {
            failure = reason_of(io, sound);
        }
        done += static_cast<std::int64_t>(samples.size());
    }
    if (sf_close(sound) != 0 && failure.empty()) {
        failure = reason_of(io, nullptr);
    }
    if (failure.empty() && io.error != 0) {
        failure = std::strerror(io.error);
    }
    if (failure.empty() && !file.flush()) {
        failure = std::strerror(errno);
    }
    return failure;
}

// Empty when the file holds every sample of the WAV, in order, and no more.
std::string check(const FlacSource& source, NativeFile& file) {
    VirtualFile io{&file};
    SF_VIRTUAL_IO calls = virtual_io();
    SF_INFO info{};
    SNDFILE* sound = sf_open_virtual(&calls, SFM_READ, &info, &io);
    if (sound == nullptr) {
        return std::string("the FLAC take cannot be read back: ") + sf_strerror(nullptr);
    }
    std::string failure;
    if (info.frames != source.frames || info.channels != kTakeChannels ||
        info.samplerate != kTakeSampleRate) {
        failure = "the FLAC take read back is not the take";
    }
    std::vector<std::int16_t> wav;
    std::vector<std::int16_t> flac;
    for (std::int64_t done = 0; done < source.frames && failure.empty();) {
        const auto count = static_cast<std::size_t>(std::min(kBlockFrames, source.frames - done));
        wav.resize(count);
        flac.resize(count);
        if (ending(source)) {
            failure = kEndingReason;
        } else if (!read_wav(source, done, wav) ||
                   sf_readf_short(sound, flac.data(), static_cast<sf_count_t>(count)) !=
                       static_cast<sf_count_t>(count) ||
                   wav != flac) {
            failure = "the FLAC take read back differs from the take";
        }
        done += static_cast<std::int64_t>(count);
    }
    sf_close(sound);
    return failure;
}

}  // namespace

FlacStored store_as_flac(const FlacSource& source) {
    std::string partial_path;
    NativeFile file = NativeFile::create_hidden(source.folder, std::string(kPartialFlacPrefix),
                                                partial_path, ".flac");
    if (!file.is_open()) {
        return {FlacStored::Outcome::kFailed, std::strerror(errno)};
    }
    std::string failure = encode(source, file);
    if (failure.empty()) {
        failure = check(source, file);
    }
    const std::string target = join_path(source.folder, source.name);
    FlacStored stored{FlacStored::Outcome::kFailed, failure};
    if (failure.empty()) {
        NameAdded added = add_name(partial_path, target);
        if (added == NameAdded::kFailed) {
            // File systems without hard links: the hidden file takes the name.
            added = file.rename(partial_path, target);
            if (added == NameAdded::kAdded) {
                partial_path.clear();
            }
        }
        stored.outcome = added == NameAdded::kAdded       ? FlacStored::Outcome::kStored
                         : added == NameAdded::kNameTaken ? FlacStored::Outcome::kNameTaken
                                                          : FlacStored::Outcome::kFailed;
        if (added == NameAdded::kFailed) {
            stored.reason = std::strerror(errno);
        } else if (added == NameAdded::kAdded && !flush_folder(source.folder)) {
            // It has its name all the same: it is the take, and the WAV goes.
            stored.outcome = FlacStored::Outcome::kStoredNotFlushed;
            stored.reason = std::strerror(errno);
        }
    }
    if (!partial_path.empty()) {
        file.remove(partial_path);
    }
    file.close();
    return stored;
}

}  // namespace taperly
