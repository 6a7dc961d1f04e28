// What the folder and the stars file tell the index: which takes are there
// (or gone, or found without a row), and which are starred.
#include "archive/take_index.h"

#include <algorithm>

namespace taperly {

namespace {

constexpr int kPresent = 1;
constexpr int kStarred = 2;
std::vector<std::int64_t> ids_of(Database& db, const std::string& sql) {
    std::vector<std::int64_t> found;
    Statement select = db.prepare(sql);
    while (select.step()) {
        found.push_back(select.integer(0));
    }
    return found;
}

}  // namespace

std::optional<std::int64_t> TakeIndex::mark_present(const std::vector<std::int64_t>& listed,
                                                    std::int64_t after,
                                                    std::vector<std::int64_t>& known,
                                                    IndexChanges& changes) {
    constexpr int kTakesAStep = 20000;
    std::vector<std::int64_t> gone;
    std::vector<std::int64_t> back;
    std::optional<std::int64_t> last;
    Statement& select =
        db_.cached("SELECT id, name_key, flags FROM takes WHERE id > ? ORDER BY id LIMIT 20000");
    select.bind(1, after);
    int count = 0;
    while (select.step()) {
        const std::int64_t key = select.integer(1);
        const bool present = (select.integer(2) & kPresent) != 0;
        const bool there = std::binary_search(listed.begin(), listed.end(), key);
        if (present && !there) {
            gone.push_back(select.integer(0));
        } else if (!present && there) {
            back.push_back(select.integer(0));
        }
        known.push_back(key);
        last = select.integer(0);
        ++count;
    }
    select.reset();
    for (const std::int64_t id : gone) {
        const std::optional<ArchivedTake> take = this->take(id);
        if (take && take->facts.source != TakeSource::kLog) {
            // Nothing but the file told of it.
            remove(take->facts.file_name, changes);
        } else {
            set_flag(id, kPresent, false);
            changes.changed.push_back(id);
        }
    }
    for (const std::int64_t id : back) {
        set_flag(id, kPresent, true);
        changes.changed.push_back(id);
    }
    return count == kTakesAStep ? last : std::nullopt;
}

void TakeIndex::set_flag(std::int64_t id, int flag, bool on) {
    db_.prepare(on ? "UPDATE takes SET flags = flags | ? WHERE id = ?"
                   : "UPDATE takes SET flags = flags & ~? WHERE id = ?")
        .bind(1, static_cast<std::int64_t>(flag))
        .bind(2, id)
        .run();
}

void TakeIndex::set_star(const std::string& name, bool starred, IndexChanges& changes) {
    const std::optional<Known> take = known(name);
    if (take && ((take->flags & kStarred) != 0) != starred) {
        set_flag(take->id, kStarred, starred);
        changes.changed.push_back(take->id);
    }
}

void TakeIndex::set_stars(const std::vector<std::string>& starred, IndexChanges& changes) {
    std::vector<std::int64_t> before = ids_of(db_, "SELECT id FROM takes t WHERE flags & 2 = 2");
    std::vector<std::int64_t> after;
    for (const std::string& name : starred) {
        if (const std::optional<Known> take = known(name)) {
            after.push_back(take->id);
        }
    }
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    for (const std::int64_t id : before) {
        if (!std::binary_search(after.begin(), after.end(), id)) {
            set_flag(id, kStarred, false);
            changes.changed.push_back(id);
        }
    }
    for (const std::int64_t id : after) {
        if (!std::binary_search(before.begin(), before.end(), id)) {
            set_flag(id, kStarred, true);
            changes.changed.push_back(id);
        }
    }
}

}  // namespace taperly
