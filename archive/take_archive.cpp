#include "archive/take_archive.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <limits>
#include <utility>

#include "archive/index_opening.h"
#include "archive/star_file.h"
#include "archive/trash.h"
#include "settings/file_exists.h"
#include "settings/utf8_path.h"

namespace taperly {

namespace {

// Takes held in memory for one export at most (a few tens of megabytes).
constexpr std::size_t kMostExported = 100000;

void remove_index(const std::string& path) {
    std::error_code ignored;
    for (const char* end : {"", "-wal", "-shm"}) {
        std::filesystem::remove(utf8_path(path + end), ignored);
    }
}

// The index is a cache: one that cannot be opened is made anew.
std::unique_ptr<TakeIndex> open_index(const ArchiveSetup& setup) {
    try {
        return std::make_unique<TakeIndex>(setup.index_path, setup.folder, *setup.zone);
    } catch (const IndexError&) {
        remove_index(setup.index_path);
        return std::make_unique<TakeIndex>(setup.index_path, setup.folder, *setup.zone);
    }
}

}  // namespace

std::string index_path_for(const std::string& cache_folder, const std::string& folder) {
    std::uint64_t key = 14695981039346656037ULL;
    for (unsigned char c : folder) {
        key = (key ^ c) * 1099511628211ULL;
    }
    char name[64];
    std::snprintf(name, sizeof name, "takes-index-%016llx.sqlite",
                  static_cast<unsigned long long>(key));
    return join_path(cache_folder, name);
}

TakeArchive::TakeArchive(ArchiveSetup setup, ArchiveListener listener)
    : setup_(std::move(setup)), listener_(std::move(listener)) {}

TakeArchive::~TakeArchive() {
    ending_ = true;
}

void TakeArchive::guarded(const std::function<void()>& work) {
    try {
        if (!index_) {
            index_ = open_index(setup_);
        }
        work();
    } catch (const IndexError& error) {
        if (error.spoilt()) {
            // Damaged (a power cut in the middle of a copy, say): made anew
            // from the log and the folder, which hold everything it held.
            query_.reset();
            play_query_.reset();
            index_.reset();
            remove_index(setup_.index_path);
            open();
        }
        setup_.post(
            [failed = listener_.failed, problem = std::string(error.what())] { failed(problem); });
    } catch (const std::exception& error) {
        setup_.post(
            [failed = listener_.failed, problem = std::string(error.what())] { failed(problem); });
    }
}

void TakeArchive::open() {
    auto opening = std::make_shared<std::unique_ptr<IndexOpening>>();
    auto changes = std::make_shared<IndexChanges>();
    const int generation = ++opened_;
    worker_.run_in_background([this, opening, changes, generation] {
        // An index made anew since is opened anew; this one is gone.
        if (generation != opened_) {
            return false;
        }
        bool more = false;
        guarded([&] {
            if (!*opening) {
                *opening = std::make_unique<IndexOpening>(*index_);
            }
            OpenProgress progress;
            more = (*opening)->step(*changes, progress);
            setup_.post([tell = listener_.progress, progress] { tell(progress); });
            if ((*opening)->stage_ended()) {
                *changes = {};
                setup_.post([tell = listener_.refreshed] { tell(); });
                tell_choices();
            }
        });
        return more;
    });
}

void TakeArchive::hear(const TakeLogEntry& row) {
    {
        const std::lock_guard lock(heard_mutex_);
        heard_.push_back(row);
        // Rows that come together are applied together.
        if (std::exchange(heard_waiting_, true)) {
            return;
        }
    }
    worker_.run([this] { guarded([this] { apply_heard(); }); });
}

void TakeArchive::apply_heard() {
    std::vector<TakeLogEntry> rows;
    {
        const std::lock_guard lock(heard_mutex_);
        rows.swap(heard_);
        heard_waiting_ = false;
    }
    IndexChanges changes;
    Transaction applying(index_->db());
    for (const TakeLogEntry& row : rows) {
        index_->apply(row, changes);
    }
    applying.commit();
    tell(changes);
    if (!changes.added.empty() || !changes.removed.empty()) {
        tell_choices();
    }
}

void TakeArchive::tell(const IndexChanges& changes) {
    // A take replaced under its name is removed and added again.
    std::vector<std::int64_t> removed = changes.removed;
    std::vector<std::int64_t> added;
    for (const std::int64_t id : changes.added) {
        const auto again = std::find(removed.begin(), removed.end(), id);
        if (again != removed.end()) {
            removed.erase(again);
        } else {
            added.push_back(id);
        }
    }
    if (!removed.empty()) {
        setup_.post([tell = listener_.removed, removed] { tell(removed); });
    }
    if (query_ && !added.empty()) {
        const std::vector<ArchivedTake> arrived = query_->matching(added);
        if (!arrived.empty()) {
            setup_.post([tell = listener_.arrived, arrived] { tell(arrived); });
        }
    }
    if (!changes.changed.empty()) {
        const std::vector<ArchivedTake> changed = index_->takes(changes.changed);
        setup_.post([tell = listener_.changed, changed] { tell(changed); });
    }
}

void TakeArchive::tell_choices() {
    setup_.post([tell = listener_.choices, labels = index_->labels(), systems = index_->systems()] {
        tell(labels, systems);
    });
}

void TakeArchive::ask(const TakeFilter& filter, int first_count,
                      std::function<void(const TakeAnswer&)> answered) {
    const int generation = ++asked_;
    worker_.run([this, filter, first_count, answered, generation] {
        if (generation != asked_) {
            // A newer search is on its way.
            return;
        }
        guarded([&] {
            query_.reset();
            query_ = std::make_unique<TakeQuery>(*index_, filter);
            answering_ = generation;
            TakeAnswer answer;
            answer.first = query_->page(0, first_count);
            answer.totals = query_->totals();
            setup_.post([answered, answer] { answered(answer); });
        });
    });
}

void TakeArchive::page(std::int64_t offset, int count, std::optional<std::int64_t> below_id,
                       std::function<void(const std::vector<ArchivedTake>&)> got) {
    worker_.run([this, offset, count, below_id, got, generation = asked_.load()] {
        guarded([&] {
            if (query_ && answering_ == generation) {
                setup_.post([got, takes = query_->page(offset, count, below_id)] { got(takes); });
            }
        });
    });
}

void TakeArchive::row_of(std::int64_t id, std::function<void(std::int64_t row)> found) {
    worker_.run([this, id, found, generation = asked_.load()] {
        guarded([&] {
            if (query_ && answering_ == generation) {
                const std::int64_t row = query_->matching({id}).empty() ? -1 : query_->row_of(id);
                setup_.post([found, row] { found(row); });
            }
        });
    });
}

void TakeArchive::takes_from(const TakeFilter& filter, std::int64_t id, bool first_included,
                             int count, std::function<void(const std::vector<ArchivedTake>&)> got) {
    worker_.run([this, filter, id, first_included, count, got] {
        guarded([&] {
            if (!play_query_ || !(play_query_->filter() == filter)) {
                play_query_.reset();
                play_query_ = std::make_unique<TakeQuery>(*index_, filter);
            }
            setup_.post(
                [got, takes = play_query_->from(id, count, first_included)] { got(takes); });
        });
    });
}

void TakeArchive::takes(const std::vector<std::int64_t>& ids,
                        std::function<void(const std::vector<ArchivedTake>&)> got) {
    worker_.run([this, ids, got] {
        guarded([&] {
            std::vector<ArchivedTake> found;
            if (!ids.empty()) {
                found = index_->takes(ids);
                std::sort(found.begin(), found.end(),
                          [](const ArchivedTake& a, const ArchivedTake& b) { return a.id < b.id; });
            } else if (query_) {
                found = query_->from(0, static_cast<int>(kMostExported) + 1, true);
            }
            setup_.post([got, found] { got(found); });
        });
    });
}

void TakeArchive::star(const std::vector<std::int64_t>& ids, bool starred,
                       std::function<void(const std::string& error)> done) {
    worker_.run([this, ids, starred, done] {
        guarded([&] {
            std::vector<std::string> names;
            for (const ArchivedTake& take : index_->takes(ids)) {
                names.push_back(take.facts.file_name);
            }
            std::string problem;
            // On the disk first: a star shown is a star kept.
            if (!StarFile(setup_.folder).write(names, starred, iso_8601(setup_.now()))) {
                problem = std::string("The stars cannot be kept in ") + StarFile::kName + ": " +
                          std::strerror(errno);
            } else {
                IndexChanges changes;
                Transaction starring(index_->db());
                for (const std::string& name : names) {
                    index_->set_star(name, starred, changes);
                }
                starring.commit();
                tell(changes);
            }
            setup_.post([done, problem] { done(problem); });
        });
    });
}

void TakeArchive::export_takes(const std::vector<std::int64_t>& ids, bool joined,
                               const std::string& into, const std::string& name,
                               std::function<void(const ExportOutcome&)> done) {
    takes(ids, [this, joined, into, name, done](const std::vector<ArchivedTake>& found) {
        if (found.size() > kMostExported) {
            ExportOutcome outcome;
            outcome.problem = "more than " + std::to_string(kMostExported) +
                              " takes match: narrow the search, or export them a part at a time";
            done(outcome);
            return;
        }
        exporter_.run([this, found, joined, into, name, done] {
            const auto go_on = [this](int) { return !ending_; };
            const ExportOutcome outcome =
                joined ? join_takes(setup_.folder, found, into, name, *setup_.zone, go_on)
                       : copy_takes(setup_.folder, found, into, *setup_.zone, go_on);
            setup_.post([done, outcome] { done(outcome); });
        });
    });
}

void TakeArchive::trash(const std::vector<std::int64_t>& ids,
                        std::function<void(int moved, const std::string& problem)> done) {
    worker_.run([this, ids, done] {
        guarded([&] {
            int moved = 0;
            std::string problems;
            IndexChanges changes;
            for (const ArchivedTake& take : index_->takes(ids)) {
                const std::string& name = take.facts.file_name;
                const std::string problem =
                    setup_.trash ? trash_take(setup_.folder, name, *setup_.trash) : "no trash";
                if (!problem.empty()) {
                    problems += (problems.empty() ? "" : "; ") + problem;
                    continue;
                }
                ++moved;
                TakeLogEntry row;
                row.end = setup_.now();
                row.file_name = name;
                row.outcome = TakeOutcome::kRemoved;
                if (setup_.log != nullptr) {
                    setup_.log->add(row);
                }
                if (take.starred) {
                    StarFile(setup_.folder).write({name}, false, iso_8601(*row.end));
                }
                Transaction removing(index_->db());
                index_->remove(name, changes);
                removing.commit();
            }
            tell(changes);
            tell_choices();
            setup_.post([done, moved, problems] { done(moved, problems); });
        });
    });
}

}  // namespace taperly
