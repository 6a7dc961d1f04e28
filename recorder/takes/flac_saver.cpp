#include "recorder/takes/flac_saver.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "recorder/takes/takes_room.h"

namespace taperly {

namespace {

constexpr std::string_view kFlacEnding = ".flac";

// The take is the WAV file it already is: saved under its ".wav" name, or,
// where that cannot be, left hidden for the next start to recover.
LateSave save_as_wav(TakeFile& take, const std::string& name, const std::string& why) {
    const std::string wav_name = wav_name_of(name);
    LateSave late{LateSave::Saved::kStored, wav_name, "not FLAC: " + why, {}};
    std::fprintf(stderr, "Taperly: %s is not stored as FLAC (%s); it is saved as %s\n",
                 name.c_str(), why.c_str(), wav_name.c_str());
    errno = 0;
    const TakeFile::Saved saved = take.save_as(wav_name);
    const int error = saved == TakeFile::Saved::kNameTaken ? EEXIST : errno != 0 ? errno : EIO;
    const std::string told = take.path_of(wav_name) + ": " + std::strerror(error);
    switch (saved) {
        case TakeFile::Saved::kStored:
            take.discard();
            return late;
        case TakeFile::Saved::kStoredNotFlushed:
            late.reason += "; not flushed: " + std::string(std::strerror(error));
            late.failure = {
                "saved, but the disk reported an error when the folder's names "
                "were flushed for " +
                    told,
                std::strerror(error), is_out_of_room(error)};
            take.discard();
            return late;
        case TakeFile::Saved::kNameTaken:
        case TakeFile::Saved::kFailed:
            break;
    }
    late.reason += "; " + std::string(std::strerror(error));
    late.failure = {"could not save " + told, std::strerror(error), is_out_of_room(error)};
    std::fprintf(stderr,
                 "Taperly: %s could not be saved either (%s); the take stays as %s, to be "
                 "recovered at the next start\n",
                 wav_name.c_str(), std::strerror(error), take.hidden_path().c_str());
    late.saved = LateSave::Saved::kFailed;
    take.keep_hidden();
    return late;
}

}  // namespace

FlacSaver::FlacSaver(FlacEncoder encode, FolderRoom room)
    : encode_(std::move(encode)), room_(std::move(room)) {
    worker_ = std::thread([this] { work(); });
}

FlacSaver::~FlacSaver() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    woken_.notify_all();
    worker_.join();
}

void FlacSaver::add(FlacJob job) {
    {
        const std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    woken_.notify_all();
}

void FlacSaver::finish_now() {
    ending_soon_ = true;
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return jobs_.empty() && !busy_; });
}

void FlacSaver::work() {
    for (;;) {
        FlacJob job;
        {
            std::unique_lock lock(mutex_);
            woken_.wait(lock, [this] { return ending_ || !jobs_.empty(); });
            if (jobs_.empty()) {
                return;
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
            busy_ = true;
        }
        // Nothing may end the thread while a take is held: a take is lost
        // only where it is dropped, and one that is not saved stays hidden.
        try {
            store(job);
        } catch (...) {
            if (job.take) {
                job.take->keep_hidden();
            }
            std::fprintf(stderr,
                         "Taperly: %s could not be stored; it stays hidden for the next "
                         "start to recover\n",
                         job.name.c_str());
        }
        {
            const std::lock_guard lock(mutex_);
            busy_ = false;
        }
        idle_.notify_all();
    }
}

std::string FlacSaver::reason_not_to_encode(const FlacJob& job) const {
    if (ending_soon_) {
        return kEndingReason;
    }
    // The FLAC file, never much larger than the WAV, lies beside it until
    // the WAV goes; the take being recorded meanwhile keeps the room of a
    // take of an hour, the longest a take is unless told otherwise.
    const std::optional<std::int64_t> free = room_ ? room_(job.take->folder()) : std::nullopt;
    const std::int64_t wav_bytes = std::max<std::int64_t>(job.take->size(), 0);
    if (free && *free < wav_bytes + kAlmostFullBelowBytes) {
        return "too little room to encode it beside the take being recorded (" + bytes_text(*free) +
               " free)";
    }
    return {};
}

void FlacSaver::store(FlacJob& job) {
    LateSave late{LateSave::Saved::kStored, job.name, {}, {}, job.frames, job.peak};
    FlacStored stored{FlacStored::Outcome::kFailed, reason_not_to_encode(job)};
    if (stored.reason.empty()) {
        // The WAV is on the disk before the FLAC is begun: a power cut
        // meanwhile leaves it to be recovered.
        if (job.take->flush()) {
            stored = encode_({&job.take->file(), job.frames, job.tags, job.take->folder(), job.name,
                              &ending_soon_});
        } else {
            stored.reason = std::strerror(errno);
        }
    }
    switch (stored.outcome) {
        case FlacStored::Outcome::kStored:
            // Only now, with the FLAC take on the disk, does the WAV go.
            job.take->discard();
            break;
        case FlacStored::Outcome::kStoredNotFlushed:
            late.reason = "not flushed: " + stored.reason;
            late.failure = {
                "saved, but the disk reported an error when the folder's names were "
                "flushed for " +
                    job.take->path_of(job.name) + ": " + stored.reason,
                stored.reason, false};
            job.take->discard();
            break;
        case FlacStored::Outcome::kNameTaken:
            std::fprintf(stderr,
                         "Taperly: a file named %s already exists; this take is not saved and "
                         "that file is left as it is\n",
                         job.name.c_str());
            late.saved = LateSave::Saved::kNameTaken;
            job.take->discard();
            break;
        case FlacStored::Outcome::kFailed: {
            const LateSave wav = save_as_wav(*job.take, job.name, stored.reason);
            late.saved = wav.saved;
            late.file_name = wav.file_name;
            late.reason = wav.reason;
            late.failure = wav.failure;
            break;
        }
    }
    if (job.told) {
        job.told(late);
    }
}

std::string wav_name_of(const std::string& name) {
    if (!std::string_view(name).ends_with(kFlacEnding)) {
        return name + ".wav";
    }
    return name.substr(0, name.size() - kFlacEnding.size()) + ".wav";
}

}  // namespace taperly
