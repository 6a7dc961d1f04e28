#include "recorder/wave_file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace taperly {

namespace {

constexpr mode_t kTakeFileMode = 0644;

// No order reports failure to its caller, so lost sound is told here, where
// whoever runs Taperly can see it, and the words are kept for the window.
std::string tell(const char* what, const std::string& name, int error) {
    const std::string told = std::string(what) + " " + name + ": " + std::strerror(error);
    std::fprintf(stderr, "Taperly: %s\n", told.c_str());
    return told;
}

// Hands an open descriptor to libsndfile, which then owns it.
SNDFILE* open_wave(int fd, int mode) {
    SF_INFO info{};
    info.samplerate = WaveFileWriter::kSampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open_fd(fd, mode, &info, SF_TRUE);
    if (file == nullptr) {
        ::close(fd);
        return nullptr;
    }
    if (info.channels != 1 || info.samplerate != WaveFileWriter::kSampleRate) {
        sf_close(file);
        return nullptr;
    }
    sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    return file;
}

// Copies the whole of `from`, whatever its read position.
bool copy_bytes(int from, int to) {
    std::vector<char> buffer(1 << 16);
    for (off_t offset = 0;;) {
        ssize_t got = ::pread(from, buffer.data(), buffer.size(), offset);
        if (got == 0) {
            return true;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        offset += got;
        for (ssize_t done = 0; done < got;) {
            ssize_t put = ::write(to, buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            done += put;
        }
    }
}

}  // namespace

WaveFileWriter::Descriptor& WaveFileWriter::Descriptor::operator=(Descriptor&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void WaveFileWriter::Descriptor::reset() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

WaveFileWriter::WaveFileWriter(std::string takes_folder) : folder_(std::move(takes_folder)) {}

WaveFileWriter::~WaveFileWriter() {
    discard();
}

bool WaveFileWriter::begin() {
    discard();
    std::string pattern = folder_ + "/.taperly-take-XXXXXX.wav";
    int fd = ::mkstemps(pattern.data(), 4);
    if (fd < 0) {
        failure_ = tell("cannot hold a take in", folder_, errno);
        return false;
    }
    ::fchmod(fd, kTakeFileMode);
    take_reader_ = Descriptor(::open(pattern.c_str(), O_RDONLY | O_CLOEXEC));
    file_.reset(open_wave(fd, SFM_WRITE));
    if (!file_ || take_reader_.get() < 0) {
        failure_ = tell("cannot start a take in", pattern, errno != 0 ? errno : EIO);
        file_.reset();
        take_reader_.reset();
        ::unlink(pattern.c_str());
        return false;
    }
    temporary_path_ = pattern;
    return true;
}

void WaveFileWriter::append(std::span<const std::int16_t> frames) {
    if (temporary_path_.empty() || write_failed_ || frames.empty()) {
        return;
    }
    if (!file_ && !reopen_for_more()) {
        write_failed_ = true;
        failure_ = tell("cannot add to the take", temporary_path_, errno);
        return;
    }
    const auto count = static_cast<sf_count_t>(frames.size());
    errno = 0;
    if (sf_write_short(file_.get(), frames.data(), count) != count) {
        // Disk full or folder gone: keep what is in the file and stop
        // adding, so the take stays a clean prefix of what was heard.
        write_failed_ = true;
        failure_ = tell("the rest of this take is lost; writing failed for", temporary_path_,
                        errno != 0 ? errno : EIO);
    }
}

bool WaveFileWriter::save_as(const std::string& name) {
    if (temporary_path_.empty()) {
        return false;
    }
    // Closing writes the final header; nothing touches the file afterwards,
    // because once linked it is the saved take too.
    file_.reset();
    const std::string target = folder_ + "/" + name;
    if (::link(temporary_path_.c_str(), target.c_str()) == 0) {
        shared_with_saved_ = true;
        return true;
    }
    if (errno == EEXIST) {
        tell("not saved, a file already has the name", target, EEXIST);
        return false;
    }
    // A folder that cannot hold hard links still never loses a file: the
    // copy is created only if the name is free.
    if (!store_copy(target)) {
        tell("could not save", target, errno);
        return false;
    }
    return true;
}

void WaveFileWriter::discard() {
    file_.reset();
    take_reader_.reset();
    if (!temporary_path_.empty()) {
        ::unlink(temporary_path_.c_str());
    }
    temporary_path_.clear();
    shared_with_saved_ = false;
    write_failed_ = false;
    failure_.clear();
}

bool WaveFileWriter::reopen_for_more() {
    int fd = -1;
    if (shared_with_saved_) {
        // More sound after a save goes into a copy, leaving the saved take
        // exactly as it was stored.
        std::string pattern = folder_ + "/.taperly-take-XXXXXX.wav";
        fd = ::mkstemps(pattern.data(), 4);
        if (fd < 0) {
            return false;
        }
        ::fchmod(fd, kTakeFileMode);
        Descriptor reader(::open(pattern.c_str(), O_RDONLY | O_CLOEXEC));
        // libsndfile takes the descriptor's position as the start of the file.
        if (reader.get() < 0 || !copy_bytes(take_reader_.get(), fd) ||
            ::lseek(fd, 0, SEEK_SET) != 0) {
            ::close(fd);
            ::unlink(pattern.c_str());
            return false;
        }
        ::unlink(temporary_path_.c_str());
        temporary_path_ = pattern;
        take_reader_ = std::move(reader);
        shared_with_saved_ = false;
    } else {
        fd = ::open(temporary_path_.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
    }
    file_.reset(open_wave(fd, SFM_RDWR));
    return file_ && sf_seek(file_.get(), 0, SEEK_END) >= 0;
}

bool WaveFileWriter::store_copy(const std::string& target) const {
    int to = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kTakeFileMode);
    if (to < 0) {
        return false;
    }
    const bool copied = copy_bytes(take_reader_.get(), to);
    if (::close(to) != 0 || !copied) {
        // A half-written copy is not a take; the name was ours, so remove it.
        ::unlink(target.c_str());
        return false;
    }
    return true;
}

}  // namespace taperly
