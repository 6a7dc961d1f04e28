#include "keeping/takes_keeping.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unordered_map>
#include <unordered_set>
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

// What a pass goes by.
struct Rule {
    std::string folder;
    const WatchedTime::Pass& watch;
    long long now = 0;
    int local_offset = 0;
    long long keep_seconds = 0;
    std::int64_t keep_ms = 0;
    // Every row before is watched long enough, none after.
    std::int64_t watched_until = 0;
    bool ignore_case = false;
    std::size_t most_candidates = 0;

    std::string key(const std::string& name) const {
        return ignore_case ? folded_name(name) : name;
    }
    // Whether the row of a stored take is old enough by both clocks.
    bool old_enough(const TakeLogEntry& entry, std::int64_t offset) const {
        const std::optional<LocalTime>& ended =
            entry.outcome == TakeOutcome::kRecovered ? entry.start : entry.end;
        return ended &&
               now - seconds_since_epoch(*ended, entry.offsets_known, local_offset) >
                   keep_seconds &&
               watch.age_ms(offset) > keep_ms;
    }
};

// One reading of the log from `from` to `length`.
struct Round {
    std::unordered_map<std::string, Candidate> candidates;
    // Where the first take old enough that found no room begins.
    std::optional<std::int64_t> next_from;
    // Where the first row not decided for good begins.
    std::int64_t unsettled = 0;
    std::optional<std::int64_t> too_long_at;
    // Whether any row naming a file could be read, and whether there was one.
    bool read_one = false;
    bool named_one = false;
};

// A name's last row decides: a take saved under it since, one removed or
// kept, or a row that cannot be read (it may be any of these) is what the
// file is now.
void drop_named_since(Round& round, const Rule& rule, const std::vector<std::string>& fields) {
    if (round.candidates.empty()) {
        return;
    }
    const auto named = round.candidates.find(rule.key(fields[kTakeLogFileColumn]));
    if (named == round.candidates.end()) {
        return;
    }
    std::string reason;
    const std::optional<TakeOutcome> outcome = read_outcome(
        fields.size() > kTakeLogOutcomeColumn ? fields[kTakeLogOutcomeColumn] : std::string(),
        reason);
    if (!outcome || !outcome_word(*outcome).leaves_file_as_it_was) {
        round.candidates.erase(named);
    }
}

// All a pass needs of a row.
const TakeLogColumnSet kColumnsRead =
    take_log_column_set({"start", "end", "file", "outcome", "bytes", "fingerprint"});

// Reads the log for the takes old enough, at most rule.most_candidates of
// them, and drops those a later row names; none when Taperly is ending.
std::optional<Round> read_round(std::istream& log, std::int64_t from, std::int64_t length,
                                const Rule& rule, const std::atomic<bool>& ending) {
    Round round;
    round.unsettled = length;
    log.clear();
    log.seekg(from);
    TakeLogReader reader(log, from, length);
    std::vector<std::string> fields;
    for (int rows = 1; reader.next(fields); ++rows) {
        if (rows % kRowsBetweenLooks == 0 && ending) {
            return std::nullopt;
        }
        const std::int64_t at = reader.row_offset();
        // A row still being written is read again next time.
        if (!reader.row_ended()) {
            round.unsettled = std::min(round.unsettled, at);
        }
        if (fields.size() <= kTakeLogFileColumn || fields[kTakeLogFileColumn].empty()) {
            continue;
        }
        drop_named_since(round, rule, fields);
        // Rows not yet watched long enough, all of them at the log's end,
        // are read only for what they say of the older ones.
        if (at >= rule.watched_until) {
            round.unsettled = std::min(round.unsettled, at);
            continue;
        }
        const std::string& name = fields[kTakeLogFileColumn];
        const std::optional<TakeLogEntry> entry = read_take_log_row(fields, kColumnsRead);
        // The first row is the header.
        round.named_one = round.named_one || at > 3;
        round.read_one =
            round.read_one ||
            (entry && (!outcome_word(entry->outcome).stores_take ||
                       (entry->outcome == TakeOutcome::kRecovered ? entry->start : entry->end)));
        if (!entry || !outcome_word(entry->outcome).stores_take || !entry->file_bytes ||
            entry->fingerprint.empty() || !has_take_name_shape(name)) {
            continue;
        }
        if (!rule.old_enough(*entry, at)) {
            round.unsettled = std::min(round.unsettled, at);
            continue;
        }
        if (round.next_from) {
            continue;
        }
        if (round.candidates.size() == rule.most_candidates) {
            round.next_from = at;
            continue;
        }
        std::error_code error;
        if (std::filesystem::symlink_status(utf8_path(join_path(rule.folder, name)), error)
                .type() == std::filesystem::file_type::not_found) {
            continue;
        }
        round.candidates.insert_or_assign(
            rule.key(name), Candidate{at, name, {*entry->file_bytes, entry->fingerprint}});
    }
    if (reader.too_long()) {
        round.too_long_at = reader.row_offset();
    }
    return round;
}

// Removes the round's takes that are still as stored, each with its row;
// false when Taperly is ending.
bool decide(const Round& round, const std::string& folder, TakeLog& log, const LocalTime& wall_now,
            const std::unordered_set<std::string>& starred,
            const std::unordered_set<std::string>& held, const Rule& rule,
            const std::atomic<bool>& ending, KeepingReport& report, std::int64_t& settled) {
    std::vector<std::pair<const std::string*, const Candidate*>> in_order;
    for (const auto& [key, candidate] : round.candidates) {
        in_order.emplace_back(&key, &candidate);
    }
    std::sort(in_order.begin(), in_order.end(),
              [](const auto& a, const auto& b) { return a.second->offset < b.second->offset; });
    for (const auto& [key, candidate] : in_order) {
        if (ending) {
            return false;
        }
        // Held by another room: kept, and looked at again once let go.
        if (held.count(rule.key(candidate->name)) != 0) {
            settled = std::min(settled, candidate->offset);
            continue;
        }
        TakeLogEntry row;
        row.end = wall_now;
        row.file_name = candidate->name;
        if (starred.count(*key) != 0) {
            // Kept for good: its row is the last, and it is not asked again.
            row.outcome = TakeOutcome::kKept;
            row.reason = "starred";
            ++report.kept;
            log.add(row);
            continue;
        }
        errno = 0;
        switch (remove_if_unchanged(join_path(folder, candidate->name), candidate->identity)) {
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
        log.add(row);
    }
    return true;
}

}  // namespace

TakesKeeping::TakesKeeping(std::string folder, int days, TakeLog& log,
                           std::optional<bool> names_ignore_case, std::size_t most_candidates,
                           const TakeStars* stars)
    : folder_(std::move(folder)),
      days_(days),
      log_(log),
      names_ignore_case_(names_ignore_case),
      most_candidates_(std::max<std::size_t>(1, most_candidates)),
      stars_(stars),
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
        length = std::max<std::int64_t>(0, log.tellg());
    } else {
        const std::string reason = reason_now();
        std::error_code error;
        if (std::filesystem::exists(utf8_path(log_path), error) || error) {
            report.trouble = std::string(kTakesLogName) + " cannot be read (" + reason + ")";
            return report;
        }
    }
    const WatchedTime::Pass watch = watched_.begin(log_path, length, steady_now);
    Rule rule{folder_, watch};
    rule.now = seconds_since_epoch(wall_now, true, 0);
    rule.local_offset = wall_now.wall.utc_offset_seconds;
    rule.keep_seconds = days_ * kSecondsADay;
    rule.keep_ms = rule.keep_seconds * 1000;
    rule.watched_until = watch.watched_longer_until(rule.keep_ms);
    rule.ignore_case = names_ignore_case_.value_or(folder_ignores_case(folder_));
    rule.most_candidates = most_candidates_;
    // Read once a pass: a star given since is heard at the next.
    std::unordered_set<std::string> starred;
    if (stars_ != nullptr) {
        const std::optional<std::vector<std::string>> names = stars_->starred();
        if (!names) {
            report.trouble = "the stars cannot be read (" + reason_now() + ")";
            return report;
        }
        for (const std::string& name : *names) {
            starred.insert(rule.key(name));
        }
    }

    std::unordered_set<std::string> held;
    if (held_ != nullptr) {
        for (const std::string& name : held_->takes_to_keep()) {
            held.insert(rule.key(name));
        }
    }
    std::int64_t settled = length;
    std::optional<std::int64_t> from = watch.settled;
    for (bool first = true; from; first = false) {
        const std::optional<Round> round = read_round(log, *from, length, rule, ending);
        if (!round) {
            return report;
        }
        if (round->too_long_at) {
            report.trouble = std::string(kTakesLogName) + " cannot be read past byte " +
                             std::to_string(*round->too_long_at) +
                             ": a row there is longer than any Taperly writes";
            return report;
        }
        if (first) {
            settled = round->unsettled;
            if (round->named_one && !round->read_one) {
                add_trouble(report.trouble, std::string("no row of ") + kTakesLogName +
                                                " can be read as Taperly writes them");
            }
        }
        if (!decide(*round, folder_, log_, wall_now, starred, held, rule, ending, report,
                    settled)) {
            return report;
        }
        from = round->next_from;
    }
    std::string state_trouble;
    if (!watched_.end(watch, log_path, length, settled, state_trouble)) {
        add_trouble(report.trouble, state_trouble);
    }
    return report;
}

}  // namespace taperly
