#include "archive/index_opening.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>

#include "archive/star_file.h"
#include "archive/take_facts.h"
#include "archive/take_file_reading.h"
#include "settings/file_exists.h"
#include "settings/utf8_path.h"

namespace taperly {

namespace {

constexpr const char* kLogName = "takes.csv";
// A step reads rows for this long at most: searches wait no longer, and a
// first build commits seldom enough not to write its index over and over.
constexpr auto kStepTime = std::chrono::milliseconds(150);
constexpr int kFilesAStep = 50;
// Bytes of the log's beginning kept to know it again.
constexpr std::int64_t kHeadBytes = 512;

std::string first_bytes(const std::string& path, std::int64_t count) {
    std::ifstream file(utf8_path(path), std::ios::binary);
    std::string bytes(static_cast<std::size_t>(count), '\0');
    file.read(bytes.data(), count);
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return bytes;
}

std::string lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// Names a take can have: WAV and FLAC files that are not hidden (a take
// being recorded is, until it is saved).
bool may_be_take(const std::string& name) {
    if (name.empty() || name.front() == '.') {
        return false;
    }
    const std::string low = lower(name);
    const auto ends_with = [&low](const std::string& end) {
        return low.size() > end.size() &&
               low.compare(low.size() - end.size(), end.size(), end) == 0;
    };
    return ends_with(".wav") || ends_with(".flac");
}

}  // namespace

bool IndexOpening::step(IndexChanges& changes, OpenProgress& progress) {
    stage_ended_ = false;
    switch (stage_) {
        case Stage::kStart:
            start_log();
            stage_ = Stage::kLog;
            [[fallthrough]];
        case Stage::kLog:
            if (!read_log(changes)) {
                stage_ = Stage::kStars;
                stage_ended_ = !changes.empty();
            }
            progress = {OpenProgress::Stage::kReadingLog, log_->offset(), log_->size()};
            return true;
        case Stage::kStars:
            read_stars(changes);
            // Made once the takes are in, in one sorted pass: kept up with
            // each take added since, it would be written all over on each
            // step of a first build.
            if (!index_.texts_indexed()) {
                index_.index_texts();
            }
            stage_ = Stage::kListing;

            progress = {OpenProgress::Stage::kLookingAtFolder, 0, 0};
            return true;
        case Stage::kListing:
            if (!walk([this](const std::string& name) { listed_.push_back(name_key(name)); })) {
                std::sort(listed_.begin(), listed_.end());
                // A folder that cannot be listed says nothing of its takes.
                stage_ = listing_failed_ ? Stage::kFiles : Stage::kMarking;
            }
            progress = {OpenProgress::Stage::kLookingAtFolder,
                        static_cast<std::int64_t>(listed_.size()), 0};
            return true;
        case Stage::kMarking:
            if (!mark(changes)) {
                stage_ = unknown_keys_.empty() ? Stage::kFiles : Stage::kFinding;
            }
            return true;
        case Stage::kFinding:
            if (!walk([this](const std::string& name) {
                    if (std::binary_search(unknown_keys_.begin(), unknown_keys_.end(),
                                           name_key(name)) &&
                        !index_.knows(name)) {
                        unknown_.push_back(name);
                    }
                })) {
                stage_ = Stage::kFiles;
            }
            return true;
        case Stage::kFiles:
            if (!read_files(changes)) {
                stage_ = Stage::kDone;
                stage_ended_ = true;
                progress = {OpenProgress::Stage::kDone, 0, 0};
                return false;
            }
            progress = {OpenProgress::Stage::kReadingFiles, static_cast<std::int64_t>(read_),
                        static_cast<std::int64_t>(unknown_.size())};
            return true;
        case Stage::kDone:
            break;
    }
    return false;
}

void IndexOpening::start_log() {
    const std::string path = join_path(index_.folder(), kLogName);
    TakeIndex::LogMark mark = index_.log_mark();
    const std::string head = first_bytes(path, static_cast<std::int64_t>(mark.head.size()));
    log_ = std::make_unique<LogStream>(path, mark.offset);
    if (mark.offset > 0 && (head != mark.head || log_->size() < mark.offset)) {
        // Another log, or one cut: what the index learnt from it may be wrong.
        index_.clear();
        log_ = std::make_unique<LogStream>(path, 0);
    }
}

bool IndexOpening::read_log(IndexChanges& changes) {
    Transaction reading(index_.db());
    const auto until = std::chrono::steady_clock::now() + kStepTime;
    bool more = true;
    for (int rows = 0; more; ++rows) {
        if (rows % 256 == 255 && std::chrono::steady_clock::now() > until) {
            break;
        }
        const std::optional<TakeLogEntry> row = log_->next();
        more = row.has_value();
        if (more) {
            index_.apply(*row, changes);
        }
    }
    const std::string path = join_path(index_.folder(), kLogName);
    index_.set_log_mark({log_->offset(), first_bytes(path, std::min(kHeadBytes, log_->offset()))});
    reading.commit();
    return more;
}

void IndexOpening::read_stars(IndexChanges& changes) {
    // A stars file that cannot be read now leaves the stars as they were.
    if (const auto starred = StarFile(index_.folder()).starred()) {
        Transaction starring(index_.db());
        index_.set_stars(*starred, changes);
        starring.commit();
    }
}

bool IndexOpening::walk(const std::function<void(const std::string& name)>& found) {
    std::error_code error;
    if (!walking_) {
        walking_.emplace(utf8_path(index_.folder()), error);
        if (error) {
            walking_.reset();
            listing_failed_ = true;
            return false;
        }
    }
    const auto until = std::chrono::steady_clock::now() + kStepTime;
    int names = 0;
    auto& entries = *walking_;
    for (; entries != std::filesystem::directory_iterator() &&
           (++names % 256 != 0 || std::chrono::steady_clock::now() < until);
         entries.increment(error)) {
        if (error) {
            listing_failed_ = true;
            break;
        }
        const std::u8string name = entries->path().filename().u8string();
        const std::string text(name.begin(), name.end());
        if (may_be_take(text) && entries->is_regular_file(error)) {
            found(text);
        }
    }
    if (!listing_failed_ && entries != std::filesystem::directory_iterator()) {
        return true;
    }
    walking_.reset();
    return false;
}

bool IndexOpening::mark(IndexChanges& changes) {
    Transaction marking(index_.db());
    const std::optional<std::int64_t> last =
        index_.mark_present(listed_, marked_after_, known_, changes);
    marking.commit();
    if (last) {
        marked_after_ = *last;
        return true;
    }
    std::sort(known_.begin(), known_.end());
    std::set_difference(listed_.begin(), listed_.end(), known_.begin(), known_.end(),
                        std::back_inserter(unknown_keys_));
    listed_ = {};
    known_ = {};
    return false;
}

bool IndexOpening::read_files(IndexChanges& changes) {
    Transaction reading(index_.db());
    const std::size_t end = std::min(unknown_.size(), read_ + kFilesAStep);
    for (; read_ < end; ++read_) {
        const std::string& name = unknown_[read_];
        const FileReading file = read_take_file(join_path(index_.folder(), name));
        if (file.readable) {
            index_.add_found(facts_of_file(name, file, index_.zone()), changes);
        }
    }
    reading.commit();
    return read_ < unknown_.size();
}

}  // namespace taperly
