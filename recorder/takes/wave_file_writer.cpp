#include "recorder/takes/wave_file_writer.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "recorder/takes/riff_bytes.h"
#include "recorder/takes/take_layout.h"

namespace taperly {

namespace {

// No order reports failure to its caller, so lost sound is told here, where
// whoever runs Taperly can see it, and the words are kept for the window.
std::string tell(const char* what, const std::string& name, int error) {
    const std::string told = std::string(what) + " " + name + ": " + std::strerror(error);
    std::fprintf(stderr, "Taperly: %s\n", told.c_str());
    return told;
}

// Sizes are written as the take grows; a take too long for them keeps what
// they reach, as recovery does.
std::uint32_t data_bytes(std::int64_t frames) {
    return static_cast<std::uint32_t>(
        std::min<std::int64_t>(frames * kTakeBytesPerFrame, 0xFFFFFFFFLL - kTakeHeaderSize));
}

}  // namespace

WaveFileWriter::WaveFileWriter(std::string takes_folder, std::unique_ptr<FlacSaver> flac)
    : flac_(std::move(flac)), take_(std::make_unique<TakeFile>(std::move(takes_folder))) {}

bool WaveFileWriter::begin(const std::string& started) {
    discard();
    if (!take_->create(started)) {
        fail("cannot hold a take in", take_->folder(), errno);
        return false;
    }
    if (!write_head()) {
        fail("cannot start a take in", take_->hidden_path(), errno != 0 ? errno : EIO);
        take_->discard();
        return false;
    }
    return true;
}

void WaveFileWriter::append(std::span<const std::int16_t> frames) {
    if (!take_->is_open() || sealed_ || write_failed_ || frames.empty()) {
        return;
    }
    // The samples go to the file as they lie in memory, which is the WAV
    // file's own byte order on every machine Taperly is built for.
    static_assert(std::endian::native == std::endian::little);
    const auto bytes = static_cast<std::int64_t>(frames.size_bytes());
    errno = 0;
    const std::int64_t written = take_->write(frames.data(), bytes);
    const std::int64_t whole = std::max<std::int64_t>(0, written) / kTakeBytesPerFrame;
    frames_ += whole;
    for (const std::int16_t sample : frames.first(static_cast<std::size_t>(whole))) {
        peak_ = std::max(peak_, std::abs(static_cast<int>(sample)));
    }
    if (written != bytes) {
        // Disk full or folder gone: keep what is in the file and stop
        // adding, so the take stays a clean prefix of what was heard.
        write_failed_ = true;
        fail("the rest of this take is lost; writing failed for", take_->hidden_path(),
             errno != 0 ? errno : EIO);
    }
    write_sizes();
}

void WaveFileWriter::describe(const TakeTags& tags) {
    tags_ = tags;
    if (take_->is_open() && !sealed_) {
        // A failure leaves the room as it was: the take loses its tags, not
        // its sound, and the save writes the header again.
        write_head();
    }
}

TakeWriter::Saved WaveFileWriter::save_as(const std::string& name) {
    if (!take_->is_open()) {
        return Saved::kFailed;
    }
    const std::string target = take_->path_of(name);
    errno = 0;
    if (!sealed_ && !write_head()) {
        return kept_for_recovery(target);
    }
    // Nothing touches the file afterwards, because once saved it is the
    // saved take.
    sealed_ = true;
    if (flac_ && name.ends_with(".flac")) {
        return save_later(name);
    }
    switch (take_->save_as(name)) {
        case TakeFile::Saved::kStored:
            // Its name holds it now; the hidden one goes.
            take_->discard();
            return Saved::kStored;
        case TakeFile::Saved::kStoredNotFlushed:
            fail("saved, but the disk reported an error when the folder's names were flushed for",
                 target, errno != 0 ? errno : EIO);
            take_->discard();
            return Saved::kStoredNotFlushed;
        case TakeFile::Saved::kNameTaken:
            tell("not saved, a file already has the name", target, EEXIST);
            return Saved::kNameTaken;
        case TakeFile::Saved::kFailed:
            break;
    }
    return kept_for_recovery(target);
}

TakeWriter::Saved WaveFileWriter::kept_for_recovery(const std::string& target) {
    fail("could not save", target, errno != 0 ? errno : EIO);
    std::fprintf(stderr, "Taperly: the take stays as %s, to be recovered at the next start\n",
                 take_->hidden_path().c_str());
    return Saved::kFailed;
}

TakeWriter::Saved WaveFileWriter::save_later(const std::string& name) {
    std::string folder = take_->folder();
    flac_->add({std::exchange(take_, std::make_unique<TakeFile>(std::move(folder))), frames_, peak_,
                tags_, name, std::exchange(late_told_, nullptr)});
    return Saved::kPending;
}

void WaveFileWriter::finish_storing_now() {
    if (flac_) {
        flac_->finish_now();
    }
}

void WaveFileWriter::keep_hidden() {
    take_->keep_hidden();
    forget();
}

void WaveFileWriter::discard() {
    take_->discard();
    forget();
}

bool WaveFileWriter::write_head() {
    const TakeHead head = take_head(tags_, data_bytes(frames_));
    const std::int64_t end = take_->position();
    const bool written = take_->seek(0, SEEK_SET) == 0 &&
                         take_->write(head.data(), kTakeHeaderSize) == kTakeHeaderSize;
    take_->seek(std::max(end, kTakeHeaderSize), SEEK_SET);
    return written;
}

// After the sound, so that a crash between the two leaves sizes short of
// what the file holds, which recovery mends, never sizes past its end.
void WaveFileWriter::write_sizes() {
    const std::uint32_t data = data_bytes(frames_);
    unsigned char field[4];
    const std::int64_t end = take_->position();
    riff::put_u32(field, static_cast<std::uint32_t>(kTakeHeaderSize - 8) + data);
    take_->seek(4, SEEK_SET);
    take_->write(field, 4);
    riff::put_u32(field, data);
    take_->seek(kTakeDataSizeAt, SEEK_SET);
    take_->write(field, 4);
    take_->seek(end, SEEK_SET);
}

void WaveFileWriter::fail(const char* what, const std::string& name, int error) {
    failure_ = {tell(what, name, error), std::strerror(error), is_out_of_room(error)};
}

void WaveFileWriter::forget() {
    late_told_ = nullptr;
    frames_ = 0;
    peak_ = 0;
    write_failed_ = false;
    sealed_ = false;
    failure_ = {};
}

}  // namespace taperly
