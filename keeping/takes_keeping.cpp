#include "keeping/takes_keeping.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unordered_map>
#include <vector>

#include "keeping/checked_removal.h"
#include "keeping/take_name_shape.h"
#include "settings/file_exists.h"
#include "settings/utf8_path.h"
#include "tracking/take_log_codec.h"
#include "tracking/take_log_reader.h"

namespace taperly {

namespace {

constexpr long long kSecondsADay = 24LL * 60 * 60;
// All a pass needs of a row.
const TakeLogColumnSet kColumnsRead =
    take_log_column_set({"start", "end", "file", "outcome", "bytes", "fingerprint"});
// How often a long pass looks whether Taperly is ending.
constexpr int kRowsBetweenLooks = 4096;

struct Candidate {
    std::int64_t offset = 0;
    std::string name;
    TakeIdentity identity;
};

// The state file under its name in capitals is the same file where the
// folder ignores case (Windows, FAT, exFAT, most shares), whatever system
// and file system say so.
bool folder_ignores_case(const std::string& folder) {
    std::string capitals = kKeepingStateName;
    std::transform(capitals.begin(), capitals.end(), capitals.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    std::error_code error;
    return std::filesystem::equivalent(utf8_path(join_path(folder, kKeepingStateName)),
                                       utf8_path(join_path(folder, capitals)), error) &&
           !error;
}

std::string reason_now() {
    return std::strerror(errno != 0 ? errno : EIO);
}

void add_trouble(std::string& trouble, const std::string& more) {
    trouble += (trouble.empty() ? "" : "; ") + more;
}

}  // namespace

TakesKeeping::TakesKeeping(std::string folder, int days, TakeLog& log,
                           std::optional<bool> names_ignore_case, std::size_t most_candidates)
    : folder_(std::move(folder)),
      days_(days),
      log_(log),
      names_ignore_case_(names_ignore_case),
      most_candidates_(std::max<std::size_t>(1, most_candidates)),
      watched_(join_path(folder_, kKeepingStateName)) {}

KeepingReport TakesKeeping::pass(const LocalTime& wall_now, SteadyTime steady_now,
                                 const std::atomic<bool>& ending) {
    KeepingReport report;
    const std::string log_path = join_path(folder_, kTakesLogName);
    errno = 0;
    std::ifstream log(utf8_path(log_path), std::ios::binary);
    std::int64_t length = 0;
    if (log) {
        log.seekg(0, std::ios::end);
        length = log.tellg();
    } else {
        const std::string reason = reason_now();
        std::error_code error;
        if (std::filesystem::exists(utf8_path(log_path), error) || error) {
            report.trouble = std::string(kTakesLogName) + " cannot be read (" + reason + ")";
            return report;
        }
    }
    const WatchedTime::Pass watch = watched_.begin(log_path, length, steady_now);
    const bool ignore_case = names_ignore_case_.value_or(folder_ignores_case(folder_));
    const auto key = [ignore_case](const std::string& name) {
        return ignore_case ? folded_name(name) : name;
    };
    const long long now = seconds_since_epoch(wall_now, true, 0);
    const long long keep_seconds = days_ * kSecondsADay;
    const std::int64_t keep_ms = keep_seconds * 1000;
    const std::int64_t watched_until = watch.watched_longer_until(keep_ms);

    // Lowered to the first row that is not decided for good.
    std::int64_t settled = length;
    std::int64_t from = watch.settled;
    bool first_round = true;
    std::vector<std::string> fields;
    for (;;) {
        std::unordered_map<std::string, Candidate> candidates;
        std::optional<std::int64_t> next_from;
        log.clear();
        log.seekg(from);
        TakeLogReader reader(log, from, length);
        for (int rows = 1; reader.next(fields); ++rows) {
            if (rows % kRowsBetweenLooks == 0 && ending) {
                return report;
            }
            const std::int64_t at = reader.row_offset();
            if (first_round && !reader.row_ended()) {
                settled = std::min(settled, at);
            }
            if (fields.size() <= kTakeLogFileColumn || fields[kTakeLogFileColumn].empty()) {
                continue;
            }
            const std::string& name = fields[kTakeLogFileColumn];
            // A name's last row decides: a take saved under it since, one
            // removed or kept, or a row that cannot be read (it may be any of
            // these) is what the file is now.
            if (!candidates.empty()) {
                if (const auto named = candidates.find(key(name)); named != candidates.end()) {
                    std::string reason;
                    const std::optional<TakeOutcome> outcome = read_outcome(
                        fields.size() > kTakeLogOutcomeColumn ? fields[kTakeLogOutcomeColumn]
                                                              : std::string(),
                        reason);
                    if (!outcome || !outcome_word(*outcome).leaves_file_as_it_was) {
                        candidates.erase(named);
                    }
                }
            }
            // Rows not yet watched long enough, all of them at the log's end,
            // are read only for what they say of the older ones.
            if (at >= watched_until) {
                if (first_round) {
                    settled = std::min(settled, at);
                }
                continue;
            }
            const std::optional<TakeLogEntry> entry = read_take_log_row(fields, kColumnsRead);
            if (!entry || !outcome_word(entry->outcome).stores_take || !entry->file_bytes ||
                entry->fingerprint.empty() || !has_take_name_shape(name)) {
                continue;
            }
            const std::optional<LocalTime>& ended =
                entry->outcome == TakeOutcome::kRecovered ? entry->start : entry->end;
            if (!ended) {
                continue;
            }
            const long long wall_age = now - seconds_since_epoch(*ended, entry->offsets_known,
                                                                 wall_now.wall.utc_offset_seconds);
            if (wall_age <= keep_seconds || watch.age_ms(at) <= keep_ms) {
                if (first_round) {
                    settled = std::min(settled, at);
                }
                continue;
            }
            if (next_from) {
                continue;
            }
            if (candidates.size() == most_candidates_) {
                next_from = at;
                continue;
            }
            std::error_code error;
            if (std::filesystem::symlink_status(utf8_path(join_path(folder_, name)), error)
                    .type() == std::filesystem::file_type::not_found) {
                continue;
            }
            candidates.insert_or_assign(
                key(name), Candidate{at, name, {*entry->file_bytes, entry->fingerprint}});
        }
        if (reader.too_long()) {
            report.trouble = std::string(kTakesLogName) + " cannot be read past byte " +
                             std::to_string(reader.row_offset()) +
                             ": a row there is longer than any Taperly writes";
            return report;
        }

        std::vector<const Candidate*> in_order;
        for (const auto& [name, candidate] : candidates) {
            in_order.push_back(&candidate);
        }
        std::sort(in_order.begin(), in_order.end(),
                  [](const Candidate* a, const Candidate* b) { return a->offset < b->offset; });
        for (const Candidate* candidate : in_order) {
            if (ending) {
                return report;
            }
            TakeLogEntry row;
            row.end = wall_now;
            row.file_name = candidate->name;
            errno = 0;
            switch (remove_if_unchanged(join_path(folder_, candidate->name), candidate->identity)) {
                case Removal::kRemoved:
                    row.outcome = TakeOutcome::kRemoved;
                    ++report.removed;
                    break;
                case Removal::kGone:
                    continue;
                case Removal::kChanged:
                    row.outcome = TakeOutcome::kKept;
                    row.reason = "changed since saved";
                    ++report.kept;
                    break;
                case Removal::kNotPlain:
                    row.outcome = TakeOutcome::kKept;
                    row.reason = "no longer a plain file";
                    ++report.kept;
                    break;
                case Removal::kFailed:
                    add_trouble(report.trouble,
                                candidate->name + " cannot be removed (" + reason_now() + ")");
                    settled = std::min(settled, candidate->offset);
                    continue;
            }
            log_.add(row);
        }
        if (!next_from) {
            break;
        }
        from = *next_from;
        first_round = false;
    }
    std::string state_trouble;
    if (!watched_.end(watch, log_path, length, settled, state_trouble)) {
        add_trouble(report.trouble, state_trouble);
    }
    return report;
}

}  // namespace taperly
