#include "recorder/takes/wave_file_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace taperly {

namespace {

// No order reports failure to its caller, so lost sound is told here, where
// whoever runs Taperly can see it, and the words are kept for the window.
std::string tell(const char* what, const std::string& name, int error) {
    const std::string told = std::string(what) + " " + name + ": " + std::strerror(error);
    std::fprintf(stderr, "Taperly: %s\n", told.c_str());
    return told;
}

TakeFile& take_of(void* take) {
    return *static_cast<TakeFile*>(take);
}

// libsndfile reads and writes the take through the take file, which knows
// where the bytes go on this system.
SF_VIRTUAL_IO take_io{
    [](void* take) -> sf_count_t { return take_of(take).size(); },
    [](sf_count_t offset, int whence, void* take) -> sf_count_t {
        return take_of(take).seek(offset, whence);
    },
    // libsndfile counts what was read and has no word for a failed read.
    [](void* into, sf_count_t count, void* take) -> sf_count_t {
        return std::max<sf_count_t>(0, take_of(take).read(into, count));
    },
    [](const void* from, sf_count_t count, void* take) -> sf_count_t {
        return take_of(take).write(from, count);
    },
    [](void* take) -> sf_count_t { return take_of(take).position(); },
};

SNDFILE* open_wave(TakeFile& take, int mode) {
    SF_INFO info{};
    info.samplerate = kTakeSampleRate;
    info.channels = kTakeChannels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open_virtual(&take_io, mode, &info, &take);
    if (file == nullptr) {
        return nullptr;
    }
    if (info.channels != kTakeChannels || info.samplerate != kTakeSampleRate) {
        sf_close(file);
        return nullptr;
    }
    sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    return file;
}

}  // namespace

WaveFileWriter::WaveFileWriter(std::string takes_folder) : take_(std::move(takes_folder)) {}

WaveFileWriter::~WaveFileWriter() {
    discard();
}

bool WaveFileWriter::begin(const std::string& started) {
    discard();
    if (!take_.create(started)) {
        fail("cannot hold a take in", take_.folder(), errno);
        return false;
    }
    file_.reset(open_wave(take_, SFM_WRITE));
    if (!file_) {
        fail("cannot start a take in", take_.hidden_path(), errno != 0 ? errno : EIO);
        take_.discard();
        return false;
    }
    return true;
}

void WaveFileWriter::append(std::span<const std::int16_t> frames) {
    if (!file_ || write_failed_ || frames.empty()) {
        return;
    }
    const auto count = static_cast<sf_count_t>(frames.size());
    errno = 0;
    const sf_count_t written = sf_write_short(file_.get(), frames.data(), count);
    frames_ += std::max<sf_count_t>(0, written);
    for (const std::int16_t sample :
         frames.first(static_cast<std::size_t>(std::max<sf_count_t>(0, written)))) {
        peak_ = std::max(peak_, std::abs(static_cast<int>(sample)));
    }
    if (written != count) {
        // Disk full or folder gone: keep what is in the file and stop
        // adding, so the take stays a clean prefix of what was heard.
        write_failed_ = true;
        fail("the rest of this take is lost; writing failed for", take_.hidden_path(),
             errno != 0 ? errno : EIO);
    }
}

TakeWriter::Saved WaveFileWriter::save_as(const std::string& name) {
    if (!take_.is_open()) {
        return Saved::kFailed;
    }
    // Closing writes the final header; nothing touches the file afterwards,
    // because once saved it is the saved take.
    file_.reset();
    const std::string target = take_.path_of(name);
    switch (take_.save_as(name)) {
        case TakeFile::Saved::kStored:
            return Saved::kStored;
        case TakeFile::Saved::kNameTaken:
            tell("not saved, a file already has the name", target, EEXIST);
            return Saved::kNameTaken;
        case TakeFile::Saved::kFailed:
            break;
    }
    const int error = errno != 0 ? errno : EIO;
    const std::string hidden = take_.hidden_path();
    fail("could not save", target, error);
    std::fprintf(stderr, "Taperly: the take stays as %s, to be recovered at the next start\n",
                 hidden.c_str());
    return Saved::kFailed;
}

void WaveFileWriter::keep_hidden() {
    file_.reset();
    take_.keep_hidden();
    forget();
}

void WaveFileWriter::discard() {
    file_.reset();
    take_.discard();
    forget();
}

void WaveFileWriter::fail(const char* what, const std::string& name, int error) {
    failure_ = {tell(what, name, error), std::strerror(error), is_out_of_room(error)};
}

void WaveFileWriter::forget() {
    frames_ = 0;
    peak_ = 0;
    write_failed_ = false;
    failure_ = {};
}

}  // namespace taperly
