// What the folder and the stars file tell the index: which takes are there
// (or gone, or found without a row), and which are starred.
#include "archive/take_index.h"

namespace taperly {

namespace {

constexpr int kPresent = 1;
constexpr int kStarred = 2;
const char* const kListed =
    "EXISTS(SELECT 1 FROM temp.listed l WHERE l.name_key = t.name_key AND l.name = t.name)";

std::vector<std::int64_t> ids_of(Database& db, const std::string& sql) {
    std::vector<std::int64_t> found;
    Statement select = db.prepare(sql);
    while (select.step()) {
        found.push_back(select.integer(0));
    }
    return found;
}

}  // namespace

void TakeIndex::begin_listing() {
    db_.run("DELETE FROM temp.listed");
}

void TakeIndex::listed(const std::string& name) {
    db_.cached("INSERT INTO temp.listed(name_key, name) VALUES(?, ?)")
        .bind(1, name_key(name))
        .bind(2, name)
        .run();
}

std::vector<std::string> TakeIndex::end_listing(IndexChanges& changes) {
    const std::vector<std::int64_t> gone =
        ids_of(db_, std::string("SELECT id FROM takes t WHERE flags & 1 AND NOT ") + kListed);
    const std::vector<std::int64_t> back =
        ids_of(db_, std::string("SELECT id FROM takes t WHERE NOT flags & 1 AND ") + kListed);
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
    std::vector<std::string> unknown;
    Statement& select = db_.cached(
        "SELECT name FROM temp.listed l WHERE NOT EXISTS(SELECT 1 FROM takes t WHERE "
        "t.name_key = l.name_key AND t.name = l.name)");
    while (select.step()) {
        unknown.push_back(select.text(0));
    }
    db_.run("DELETE FROM temp.listed");
    return unknown;
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
    begin_listing();
    for (const std::string& name : starred) {
        listed(name);
    }
    const char* const kThere =
        "EXISTS(SELECT 1 FROM temp.listed l WHERE l.name_key = t.name_key AND l.name = t.name)";
    for (const bool star : {false, true}) {
        Statement select =
            db_.prepare(std::string("SELECT id FROM takes t WHERE ") +
                        (star ? "NOT flags & 2 AND " : "flags & 2 = 2 AND NOT ") + kThere);
        std::vector<std::int64_t> ids;
        while (select.step()) {
            ids.push_back(select.integer(0));
        }
        for (const std::int64_t id : ids) {
            set_flag(id, kStarred, star);
            changes.changed.push_back(id);
        }
    }
    db_.run("DELETE FROM temp.listed");
}

}  // namespace taperly
