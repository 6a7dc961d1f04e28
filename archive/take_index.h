#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/archived_take.h"
#include "archive/local_zone.h"
#include "archive/sqlite_db.h"
#include "tracking/take_log.h"

namespace taperly {

// What a change to the index did, for the window to show.
struct IndexChanges {
    std::vector<std::int64_t> added;
    std::vector<std::int64_t> removed;
    // Starred or unstarred, found missing or back.
    std::vector<std::int64_t> changed;

    bool empty() const { return added.empty() && removed.empty() && changed.empty(); }
};

// How many takes and how long they last together.
struct TakeTotals {
    std::int64_t takes = 0;
    std::int64_t milliseconds = 0;
    bool operator==(const TakeTotals&) const = default;
};

// A talkgroup (or display line 1) or a system, and how many takes have it.
struct ChoiceCount {
    std::string text;
    std::int64_t takes = 0;
    bool operator==(const ChoiceCount&) const = default;
};

// The takes' index: one SQLite file that lists every take of a takes folder,
// with full-text search over the distinct texts takes were made with. It
// is a cache: everything in it comes from takes.csv, the takes' files and
// the stars file, and it is made anew whenever it cannot be trusted. Used
// from one thread.
class TakeIndex {
  public:
    // The index at `path` for the takes in `folder`: made when missing, and
    // made anew when another version of Taperly or another folder made it.
    TakeIndex(const std::string& path, std::string folder, const LocalZone& zone);

    Database& db() { return db_; }
    const std::string& folder() const { return folder_; }
    const LocalZone& zone() const { return zone_; }

    // Where the log has been read to, and its first bytes then: a log that
    // no longer begins so is another log, and the index is made anew.
    struct LogMark {
        std::int64_t offset = 0;
        std::string head;
    };
    LogMark log_mark();
    void set_log_mark(const LogMark& mark);
    // Forgets every take, to be told them all again.
    void clear();

    // One row of the log: a take stored under its name (replacing what the
    // name was before), or one removed; other rows change nothing.
    void apply(const TakeLogEntry& row, IndexChanges& changes);
    // A take the log has no row of, found in the folder.
    void add_found(const TakeFacts& facts, IndexChanges& changes);
    void remove(const std::string& name, IndexChanges& changes);

    // Looking at the folder, told by the keys (name_key) of the names found
    // in it, sorted: takes the log told of are marked missing or present,
    // those found only in the folder that are gone are forgotten. A step
    // goes through some takes after the id `after` (0 first), adds their
    // keys to `known`, and returns the last id it went through; none at the
    // end. Two names of one day share a key once in a trillion times.
    std::optional<std::int64_t> mark_present(const std::vector<std::int64_t>& listed,
                                             std::int64_t after, std::vector<std::int64_t>& known,
                                             IndexChanges& changes);
    // Whether a take has exactly this name.
    bool knows(const std::string& name) { return known(name).has_value(); }

    // Stars, by name: `starred` the names starred now, every other unstarred.
    void set_stars(const std::vector<std::string>& starred, IndexChanges& changes);
    void set_star(const std::string& name, bool starred, IndexChanges& changes);

    std::optional<ArchivedTake> take(std::int64_t id);
    std::optional<ArchivedTake> take_named(const std::string& name);
    std::vector<ArchivedTake> takes(const std::vector<std::int64_t>& ids);
    // Counts inserts: a query made when it read n sees only takes added up to n.
    std::int64_t added_mark() const { return added_; }
    TakeTotals totals();
    // The index of the takes by their texts, which searches that match few
    // takes read: made once the log has been read.
    bool texts_indexed();
    void index_texts();
    // Every talkgroup (or display line 1) and every system, with their takes.

    std::vector<ChoiceCount> labels();
    std::vector<ChoiceCount> systems();

  private:
    void make_schema();
    std::int64_t texts_id(const TakeTexts& texts);
    std::int64_t free_id(std::int64_t seconds);
    void insert(const TakeFacts& facts, bool present, bool starred, IndexChanges& changes);
    // The id, its facts and flags of the take under `name`.
    struct Known {
        std::int64_t id = 0;
        std::int64_t texts_id = 0;
        std::int64_t milliseconds = 0;
        int flags = 0;
    };
    std::optional<Known> known(const std::string& name);
    void drop(const Known& take, IndexChanges& changes);
    void set_flag(std::int64_t id, int flag, bool on);

    Database db_;
    std::string folder_;
    const LocalZone& zone_;
    std::int64_t added_ = 0;
    std::unordered_map<std::string, std::int64_t> texts_ids_;
};

// The columns a listing reads, in the order take_from_row reads them.
extern const char* const kTakeColumns;
ArchivedTake take_from_row(const Statement& row);

// A 64-bit key of a file name, for finding it by a small index.
std::int64_t name_key(const std::string& name);

}  // namespace taperly
