#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "archive/local_zone.h"
#include "archive/take_export.h"
#include "archive/take_index.h"
#include "archive/take_query.h"
#include "archive/worker_thread.h"
#include "tracking/clock.h"
#include "tracking/take_log.h"

namespace taperly {

class Trash;

// Hands a call to the thread the answers are for (the window's).
using Post = std::function<void(std::function<void()>)>;

// How far opening the index has come.
struct OpenProgress {
    enum class Stage { kReadingLog, kLookingAtFolder, kReadingFiles, kDone };
    Stage stage = Stage::kReadingLog;
    // Bytes of the log, files in the folder, or files without rows read.
    std::int64_t done = 0;
    std::int64_t total = 0;
};

// A search's first answer.
struct TakeAnswer {
    TakeTotals totals;
    std::vector<ArchivedTake> first;
};

// What the archive tells whoever shows it, on the thread `post` hands to.
struct ArchiveListener {
    std::function<void(const OpenProgress&)> progress;
    // Many takes changed at once (the log caught up with, the folder looked
    // at): what is shown should be asked again.
    std::function<void()> refreshed;
    // Takes saved since, that the last search matches.
    std::function<void(const std::vector<ArchivedTake>&)> arrived;
    std::function<void(const std::vector<std::int64_t>&)> removed;
    // Takes starred or unstarred, found missing or back, as they are now.
    std::function<void(const std::vector<ArchivedTake>&)> changed;
    std::function<void(const std::vector<ChoiceCount>& labels,
                       const std::vector<ChoiceCount>& systems)>
        choices;
    std::function<void(const std::string& problem)> failed;
};

struct ArchiveSetup {
    std::string folder;
    // Where the index is kept (see index_path_for).
    std::string index_path;
    std::shared_ptr<const LocalZone> zone;
    Post post;
    // The desktop's clock, for the rows of stars and removals.
    std::function<LocalTime()> now;
    // Where a take moved to the trash gets its `removed` row (the log others
    // listen to); none keeps no row.
    TakeLog* log = nullptr;
    std::shared_ptr<Trash> trash;
};

// The takes of one folder, found and kept: the index brought up to date in
// the background, searches answered, stars given, takes moved to the trash.
// Every call returns at once; its answer comes through `post`. An answer
// to a search that a newer one replaced never comes.
class TakeArchive {
  public:
    TakeArchive(ArchiveSetup setup, ArchiveListener listener);
    ~TakeArchive();
    TakeArchive(const TakeArchive&) = delete;
    TakeArchive& operator=(const TakeArchive&) = delete;

    // Brings the index up to date: the log's rows since it last read them,
    // the stars, then the folder's files.
    void open();
    // A row of the log, as it is written (from any thread).
    void hear(const TakeLogEntry& row);

    // Lists what `filter` matches; pages and rows then refer to this search.
    void ask(const TakeFilter& filter, int first_count,
             std::function<void(const TakeAnswer&)> answered);
    void page(std::int64_t offset, int count, std::optional<std::int64_t> below_id,
              std::function<void(const std::vector<ArchivedTake>&)> got);
    // Where the take `id` is in what the last search lists; -1 when it is
    // not among them.
    void row_of(std::int64_t id, std::function<void(std::int64_t row)> found);
    // Takes to play: what `filter` matches from `id` on, oldest first.
    void takes_from(const TakeFilter& filter, std::int64_t id, bool first_included, int count,
                    std::function<void(const std::vector<ArchivedTake>&)> got);
    // The takes `ids` as the index knows them, in time order; the takes
    // the last search matches (whose files are there) when `ids` is empty.

    void takes(const std::vector<std::int64_t>& ids,
               std::function<void(const std::vector<ArchivedTake>&)> got);
    // `error` empty when done.
    void star(const std::vector<std::int64_t>& ids, bool starred,
              std::function<void(const std::string& error)> done);
    // Exports the takes `ids` (all the last search matches when empty), in
    // time order, on a thread of its own: copied into the folder `into`, or
    // joined into the file `name` there (see take_export.h).
    void export_takes(const std::vector<std::int64_t>& ids, bool joined, const std::string& into,
                      const std::string& name, std::function<void(const ExportOutcome&)> done);
    // Moves the takes to the desktop's trash, each with a `removed` row;
    // what could not be moved is told, and kept.
    void trash(const std::vector<std::int64_t>& ids,
               std::function<void(int moved, const std::string& problem)> done);

  private:
    struct Opening;

    // Runs on the worker: failures go to the listener.
    void guarded(const std::function<void()>& work);
    void tell(const IndexChanges& changes);
    void apply_heard();
    void tell_choices();

    ArchiveSetup setup_;
    ArchiveListener listener_;
    std::unique_ptr<TakeIndex> index_;
    std::unique_ptr<TakeQuery> query_;
    std::unique_ptr<TakeQuery> play_query_;
    // Searches asked, and the one query_ answers: work for an older search
    // is dropped.
    std::atomic<int> asked_{0};
    int answering_ = 0;
    // Openings begun: only the last goes on (used on the worker's thread,
    // and by open() before it has one).
    std::atomic<int> opened_{0};
    std::mutex heard_mutex_;
    std::vector<TakeLogEntry> heard_;
    bool heard_waiting_ = false;
    // Set when it goes: an export under way stops after the take it is at.
    std::atomic<bool> ending_{false};
    // Last: their threads use all of the above.
    WorkerThread exporter_;
    WorkerThread worker_;
};

// Where the index of the takes in `folder` is kept: `cache_folder` (the
// user's cache) holds one index per takes folder, named after its path.
std::string index_path_for(const std::string& cache_folder, const std::string& folder);

}  // namespace taperly
