#include "keeping/watched_time.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "recorder/takes/appended_rows.h"
#include "recorder/takes/native_file.h"
#include "settings/utf8_path.h"
#include "tracking/take_identity.h"

namespace taperly {

namespace {

constexpr const char* kHeader = "taperly keeping 1\n";
// Checkpoints no row needs any more are let stand until there are this many,
// then the file is written anew without them.
constexpr std::size_t kMostUnneeded = 1000;

std::string log_check(const std::string& log_path, std::int64_t bytes) {
    std::ifstream log(utf8_path(log_path), std::ios::binary);
    // Never a check of a log: it matches none.
    if (!log) {
        return "-";
    }
    const std::optional<TakeIdentity> identity =
        identity_of(bytes, [&log](std::int64_t offset, char* into, std::int64_t count) {
            log.clear();
            log.seekg(offset);
            log.read(into, count);
            return static_cast<std::int64_t>(log.gcount());
        });
    return identity ? identity->fingerprint : std::string("-");
}

std::string line_of(const WatchedTime::Checkpoint& checkpoint) {
    return std::to_string(checkpoint.log_bytes) + " " + std::to_string(checkpoint.watched_ms) +
           " " + checkpoint.log_check + " " + std::to_string(checkpoint.settled) + "\n";
}

bool write_anew(const std::string& path, const std::string& text) {
    NativeFile file = NativeFile::open_to_append(path);
    const auto count = static_cast<std::int64_t>(text.size());
    if (!file.is_open() || !file.resize(0) || file.append(text.data(), count) != count ||
        !file.flush()) {
        return false;
    }
    return file.close();
}

}  // namespace

std::int64_t WatchedTime::Pass::age_ms(std::int64_t offset) const {
    const auto written_before = std::upper_bound(
        checkpoints.begin(), checkpoints.end(), offset,
        [](std::int64_t at, const Checkpoint& checkpoint) { return at < checkpoint.log_bytes; });
    if (written_before == checkpoints.end()) {
        return 0;
    }
    return std::max<std::int64_t>(0, watched_ms - written_before->watched_ms);
}

std::int64_t WatchedTime::Pass::watched_longer_until(std::int64_t ms) const {
    // The totals grow with the log's length, so the old rows are a prefix.
    std::int64_t until = settled;
    for (const Checkpoint& checkpoint : checkpoints) {
        if (watched_ms - checkpoint.watched_ms > ms) {
            until = checkpoint.log_bytes;
        }
    }
    return until;
}

WatchedTime::WatchedTime(std::string state_path) : path_(std::move(state_path)) {}

std::vector<WatchedTime::Checkpoint> WatchedTime::read_checkpoints(bool& whole) const {
    whole = true;
    std::vector<Checkpoint> checkpoints;
    std::ifstream file(utf8_path(path_), std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (text.empty()) {
        return checkpoints;
    }
    if (!text.starts_with(kHeader)) {
        whole = false;
        return checkpoints;
    }
    // What follows the last line end is half a line a power cut left.
    std::size_t at = std::strlen(kHeader);
    for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        std::istringstream line(text.substr(at, end - at));
        Checkpoint checkpoint;
        std::string rest;
        if (!(line >> checkpoint.log_bytes >> checkpoint.watched_ms >> checkpoint.log_check >>
              checkpoint.settled) ||
            (line >> rest) || checkpoint.log_bytes < 0 || checkpoint.watched_ms < 0 ||
            checkpoint.settled < 0 || checkpoint.settled > checkpoint.log_bytes ||
            (!checkpoints.empty() && checkpoint.log_bytes < checkpoints.back().log_bytes)) {
            whole = false;
            return {};
        }
        checkpoints.push_back(std::move(checkpoint));
    }
    return checkpoints;
}

WatchedTime::Pass WatchedTime::begin(const std::string& log_path, std::int64_t log_bytes,
                                     SteadyTime steady_now) {
    bool whole = true;
    std::vector<Checkpoint> checkpoints = read_checkpoints(whole);
    lines_ = checkpoints.size();
    Pass pass;
    // Another Taperly in the same folder counts the same real time: the
    // larger total is the one to go on from, never their sum.
    pass.watched_ms = checkpoints.empty() ? 0 : checkpoints.back().watched_ms;
    if (run_watched_ms_) {
        pass.watched_ms = std::max(
            pass.watched_ms,
            *run_watched_ms_ + std::max<std::int64_t>(0, (steady_now - run_steady_).count()));
    }
    run_watched_ms_ = pass.watched_ms;
    run_steady_ = steady_now;
    if (!whole || checkpoints.empty() || log_bytes < checkpoints.back().log_bytes ||
        log_check(log_path, checkpoints.back().log_bytes) != checkpoints.back().log_check) {
        pass.afresh = true;
        return pass;
    }
    pass.settled = checkpoints.back().settled;
    std::erase_if(checkpoints, [&pass](const Checkpoint& checkpoint) {
        return checkpoint.log_bytes <= pass.settled;
    });
    pass.checkpoints = std::move(checkpoints);
    return pass;
}

bool WatchedTime::end(const Pass& pass, const std::string& log_path, std::int64_t log_bytes,
                      std::int64_t settled, std::string& trouble) {
    const Checkpoint now{log_bytes, pass.watched_ms, log_check(log_path, log_bytes), settled};
    std::vector<Checkpoint> needed;
    for (const Checkpoint& checkpoint : pass.checkpoints) {
        if (checkpoint.log_bytes > settled) {
            needed.push_back(checkpoint);
        }
    }
    errno = 0;
    bool written = false;
    if (pass.afresh || lines_ > needed.size() + kMostUnneeded) {
        std::string text = kHeader;
        for (const Checkpoint& checkpoint : needed) {
            text += line_of(checkpoint);
        }
        written = write_anew(path_, text + line_of(now));
        lines_ = needed.size() + 1;
    } else {
        written = append_whole_row(path_, kHeader, line_of(now));
        ++lines_;
    }
    if (!written) {
        trouble = "its state file " + path_ + " cannot be written (" +
                  std::strerror(errno != 0 ? errno : EIO) + ")";
    }
    return written;
}

}  // namespace taperly
