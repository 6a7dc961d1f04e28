#include "archive/take_index.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>

#include "archive/civil_time.h"
#include "archive/take_facts.h"
#include "archive/take_names.h"
#include "settings/file_exists.h"
#include "settings/utf8_path.h"

namespace taperly {

namespace {

// Bumped whenever the tables change: an index of another version is made anew.
constexpr int kSchemaVersion = 3;
// A take's id is its start's second, shifted, and a count of the takes that
// began in the same second: listing by id lists by start.
constexpr int kSecondShift = 20;
constexpr int kPresent = 1;
constexpr int kStarred = 2;
constexpr int kSourceShift = 4;
// A name's key: the day its date names, then 40 bits of its hash.
constexpr int kHashBits = 40;
constexpr std::int64_t kLastDay = (std::int64_t{1} << (63 - kHashBits)) - 1;

const char* const kSchema = R"(
CREATE TABLE meta(key TEXT PRIMARY KEY, value) WITHOUT ROWID;
CREATE TABLE texts(id INTEGER PRIMARY KEY, system TEXT NOT NULL, grp TEXT NOT NULL,
    talkgroup TEXT NOT NULL, line1 TEXT NOT NULL, line2 TEXT NOT NULL, label TEXT NOT NULL,
    takes INTEGER NOT NULL DEFAULT 0, milliseconds INTEGER NOT NULL DEFAULT 0);
CREATE UNIQUE INDEX texts_by_value ON texts(system, grp, talkgroup, line1, line2);
CREATE VIRTUAL TABLE text_words USING fts5(talkgroup, system, grp, line1, line2,
    content='texts', content_rowid='id', tokenize='unicode61 remove_diacritics 2',
    prefix='1 2 3');
CREATE TABLE takes(id INTEGER PRIMARY KEY, texts_id INTEGER NOT NULL,
    milliseconds INTEGER NOT NULL, flags INTEGER NOT NULL, added INTEGER NOT NULL,
    name_key INTEGER NOT NULL, name TEXT NOT NULL, start INTEGER, utc_offset INTEGER,
    peak INTEGER);
CREATE INDEX takes_by_time ON takes(id, texts_id, milliseconds, flags, added);
CREATE INDEX takes_by_name ON takes(name_key);
CREATE INDEX takes_starred ON takes(id) WHERE flags & 2 = 2;
CREATE TABLE name_extra(id INTEGER PRIMARY KEY, words TEXT NOT NULL);
CREATE VIRTUAL TABLE name_words USING fts5(words, content='name_extra', content_rowid='id',
    tokenize='unicode61 remove_diacritics 2', prefix='1 2 3');
)";

std::string meta_text(Database& db, const char* key) {
    Statement read = db.prepare("SELECT value FROM meta WHERE key = ?");
    read.bind(1, std::string_view(key));
    return read.step() ? read.text(0) : std::string();
}

void set_meta(Database& db, const char* key, const std::string& value) {
    db.prepare("INSERT OR REPLACE INTO meta(key, value) VALUES(?, ?)")
        .bind(1, std::string_view(key))
        .bind(2, value)
        .run();
}

// A take without a start is listed by its file's time, where there is one.
std::int64_t sort_seconds(const TakeFacts& facts, const std::string& folder) {
    if (facts.start) {
        return std::max<std::int64_t>(*facts.start, 0);
    }
    std::error_code error;
    const auto written =
        std::filesystem::last_write_time(utf8_path(join_path(folder, facts.file_name)), error);
    if (error) {
        return 0;
    }
    const auto since_epoch = std::chrono::file_clock::to_sys(written).time_since_epoch();
    return std::max<std::int64_t>(
        std::chrono::duration_cast<std::chrono::seconds>(since_epoch).count(), 0);
}

}  // namespace

const char* const kTakeColumns =
    "t.id, t.name, t.start, t.utc_offset, t.milliseconds, t.peak, t.flags, x.system, x.grp, "
    "x.talkgroup, x.line1, x.line2";

ArchivedTake take_from_row(const Statement& row) {
    ArchivedTake take;
    take.id = row.integer(0);
    TakeFacts& facts = take.facts;
    facts.file_name = row.text(1);
    if (!row.is_null(2)) {
        facts.start = row.integer(2);
    }
    if (!row.is_null(3)) {
        facts.utc_offset = static_cast<int>(row.integer(3));
    }
    facts.milliseconds = row.integer(4);
    if (!row.is_null(5)) {
        facts.peak_decibel_tenths = static_cast<int>(row.integer(5));
    }
    const auto flags = static_cast<int>(row.integer(6));
    take.present = (flags & kPresent) != 0;
    take.starred = (flags & kStarred) != 0;
    facts.source = static_cast<TakeSource>(flags >> kSourceShift);
    facts.texts = {row.text(7), row.text(8), row.text(9), row.text(10), row.text(11)};
    return take;
}

std::int64_t name_key(const std::string& name) {
    // FNV-1a: quick, and collisions only cost a comparison of the names.
    std::uint64_t hash = 14695981039346656037ULL;
    for (unsigned char c : name) {
        hash = (hash ^ c) * 1099511628211ULL;
    }
    // The date a Taperly name ends with leads, so that a day's takes lie
    // together in the index: a log read in time order writes it in order,
    // not all over the file.
    std::int64_t day = 0;
    const auto digits = [&name](std::size_t at, std::size_t count) {
        int value = 0;
        for (std::size_t i = at; i < at + count; ++i) {
            if (!std::isdigit(static_cast<unsigned char>(name[i]))) {
                return -1;
            }
            value = value * 10 + (name[i] - '0');
        }
        return value;
    };
    // "mm-dd-yyyy", the last one in the name.
    for (std::size_t at = name.size() >= 10 ? name.size() - 9 : 0; at-- > 0;) {
        const int month = digits(at, 2);
        const int date = digits(at + 3, 2);
        const int year = digits(at + 6, 4);
        if (name[at + 2] == '-' && name[at + 5] == '-' && month >= 1 && month <= 12 && date >= 1 &&
            date <= 31 && year >= 0) {
            day = std::clamp<std::int64_t>(days_from_civil({year, month, date}), 0, kLastDay);
            break;
        }
    }
    return day << kHashBits | static_cast<std::int64_t>(hash & ((1ULL << kHashBits) - 1));
}

TakeIndex::TakeIndex(const std::string& path, std::string folder, const LocalZone& zone)
    : db_(path), folder_(std::move(folder)), zone_(zone) {
    // The write-ahead log is flushed only when it is copied into the index:
    // a power cut loses the last steps, never the whole.
    db_.run(
        "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; PRAGMA cache_size = -65536;"
        "PRAGMA temp_store = FILE;");
    Statement& version = db_.cached("PRAGMA user_version");
    version.step();
    const bool current = version.integer(0) == kSchemaVersion;
    version.reset();
    if (!current || meta_text(db_, "folder") != folder_) {
        make_schema();
    }
    Statement& added = db_.cached("SELECT max(added) FROM takes");
    added.step();
    added_ = added.integer(0);
}

void TakeIndex::make_schema() {
    db_.forget_cached();
    // Whatever was there is only a cache: its tables go, and with them
    // anything of an older layout. Full-text tables first, which take
    // their own tables with them.
    for (const char* const kind : {"sql LIKE 'CREATE VIRTUAL%'", "1"}) {
        std::vector<std::string> tables;
        Statement select = db_.prepare(
            std::string("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                        "'sqlite_%' AND ") +
            kind);
        while (select.step()) {
            tables.push_back(select.text(0));
        }
        for (const std::string& table : tables) {
            db_.run("DROP TABLE IF EXISTS \"" + table + "\"");
        }
    }
    Transaction making(db_);
    db_.run(kSchema);
    db_.run("PRAGMA user_version = " + std::to_string(kSchemaVersion));
    set_meta(db_, "folder", folder_);
    making.commit();
    texts_ids_.clear();
}

void TakeIndex::clear() {
    make_schema();
    added_ = 0;
}

TakeIndex::LogMark TakeIndex::log_mark() {
    const std::string offset = meta_text(db_, "log offset");
    return {offset.empty() ? 0 : std::stoll(offset), meta_text(db_, "log head")};
}

void TakeIndex::set_log_mark(const LogMark& mark) {
    set_meta(db_, "log offset", std::to_string(mark.offset));
    set_meta(db_, "log head", mark.head);
}

std::int64_t TakeIndex::texts_id(const TakeTexts& texts) {
    const std::string key = texts.system + '\0' + texts.group + '\0' + texts.talkgroup + '\0' +
                            texts.display_line1 + '\0' + texts.display_line2;
    if (const auto found = texts_ids_.find(key); found != texts_ids_.end()) {
        return found->second;
    }
    Statement& find = db_.cached(
        "SELECT id FROM texts WHERE system = ? AND grp = ? AND talkgroup = ? AND line1 = ? AND "
        "line2 = ?");
    find.bind(1, texts.system)
        .bind(2, texts.group)
        .bind(3, texts.talkgroup)
        .bind(4, texts.display_line1)
        .bind(5, texts.display_line2);
    std::int64_t id = 0;
    if (find.step()) {
        id = find.integer(0);
    } else {
        db_.cached(
               "INSERT INTO texts(system, grp, talkgroup, line1, line2, label) "
               "VALUES(?, ?, ?, ?, ?, ?)")
            .bind(1, texts.system)
            .bind(2, texts.group)
            .bind(3, texts.talkgroup)
            .bind(4, texts.display_line1)
            .bind(5, texts.display_line2)
            .bind(6, texts.label())
            .run();
        id = db_.last_row_id();
        db_.cached(
               "INSERT INTO text_words(rowid, talkgroup, system, grp, line1, line2) "
               "VALUES(?, ?, ?, ?, ?, ?)")
            .bind(1, id)
            .bind(2, texts.talkgroup)
            .bind(3, texts.system)
            .bind(4, texts.group)
            .bind(5, texts.display_line1)
            .bind(6, texts.display_line2)
            .run();
    }
    texts_ids_.emplace(key, id);
    return id;
}

std::int64_t TakeIndex::free_id(std::int64_t seconds) {
    const std::int64_t first = seconds << kSecondShift;
    Statement& last = db_.cached("SELECT max(id) FROM takes WHERE id BETWEEN ? AND ?");
    last.bind(1, first).bind(2, first + (1 << kSecondShift) - 1);
    last.step();
    return last.is_null(0) ? first : last.integer(0) + 1;
}

std::optional<TakeIndex::Known> TakeIndex::known(const std::string& name) {
    Statement& find = db_.cached(
        "SELECT id, texts_id, milliseconds, flags FROM takes WHERE name_key = ? AND name = ?");
    find.bind(1, name_key(name)).bind(2, name);
    if (!find.step()) {
        return std::nullopt;
    }
    return Known{find.integer(0), find.integer(1), find.integer(2),
                 static_cast<int>(find.integer(3))};
}

void TakeIndex::insert(const TakeFacts& facts, bool present, bool starred, IndexChanges& changes) {
    const std::int64_t texts = texts_id(facts.texts);
    const std::int64_t id = free_id(sort_seconds(facts, folder_));
    const int flags = (present ? kPresent : 0) | (starred ? kStarred : 0) |
                      static_cast<int>(facts.source) << kSourceShift;
    db_.cached(
           "INSERT INTO takes(id, texts_id, milliseconds, flags, added, name_key, name, start, "
           "utc_offset, peak) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
        .bind(1, id)
        .bind(2, texts)
        .bind(3, facts.milliseconds)
        .bind(4, static_cast<std::int64_t>(flags))
        .bind(5, ++added_)
        .bind(6, name_key(facts.file_name))
        .bind(7, facts.file_name)
        .bind(8, facts.start)
        .bind(9, facts.utc_offset ? std::optional<std::int64_t>(*facts.utc_offset) : std::nullopt)
        .bind(10, facts.peak_decibel_tenths
                      ? std::optional<std::int64_t>(*facts.peak_decibel_tenths)
                      : std::nullopt)
        .run();
    db_.cached("UPDATE texts SET takes = takes + 1, milliseconds = milliseconds + ? WHERE id = ?")
        .bind(1, facts.milliseconds)
        .bind(2, texts)
        .run();
    const std::string words = name_words(facts.file_name, facts.texts);
    if (!words.empty()) {
        db_.cached("INSERT INTO name_extra(id, words) VALUES(?, ?)")
            .bind(1, id)
            .bind(2, words)
            .run();
        db_.cached("INSERT INTO name_words(rowid, words) VALUES(?, ?)")
            .bind(1, id)
            .bind(2, words)
            .run();
    }
    changes.added.push_back(id);
}

void TakeIndex::drop(const Known& take, IndexChanges& changes) {
    Statement& words = db_.cached("SELECT words FROM name_extra WHERE id = ?");
    words.bind(1, take.id);
    if (words.step()) {
        const std::string text = words.text(0);
        words.reset();
        db_.cached("INSERT INTO name_words(name_words, rowid, words) VALUES('delete', ?, ?)")
            .bind(1, take.id)
            .bind(2, text)
            .run();
        db_.cached("DELETE FROM name_extra WHERE id = ?").bind(1, take.id).run();
    }
    db_.cached("DELETE FROM takes WHERE id = ?").bind(1, take.id).run();
    db_.cached("UPDATE texts SET takes = takes - 1, milliseconds = milliseconds - ? WHERE id = ?")
        .bind(1, take.milliseconds)
        .bind(2, take.texts_id)
        .run();
    changes.removed.push_back(take.id);
}

void TakeIndex::apply(const TakeLogEntry& row, IndexChanges& changes) {
    if (row.outcome == TakeOutcome::kRemoved) {
        remove(row.file_name, changes);
        return;
    }
    if (!stores_take(row)) {
        // A name taken, a take not saved: the file is what it was before.
        return;
    }
    const TakeFacts facts = facts_of_row(row, zone_);
    const std::optional<Known> before = known(row.file_name);
    if (before) {
        // The same row read again (from the log after the listeners told
        // it) changes nothing.
        const std::optional<ArchivedTake> same = take(before->id);
        if (same && same->facts == facts) {
            return;
        }
        drop(*before, changes);
    }
    insert(facts, true, before && (before->flags & kStarred) != 0, changes);
}

void TakeIndex::add_found(const TakeFacts& facts, IndexChanges& changes) {
    if (!known(facts.file_name)) {
        insert(facts, true, false, changes);
    }
}

void TakeIndex::remove(const std::string& name, IndexChanges& changes) {
    if (const std::optional<Known> take = known(name)) {
        drop(*take, changes);
    }
}

std::vector<ArchivedTake> TakeIndex::takes(const std::vector<std::int64_t>& ids) {
    std::vector<ArchivedTake> found;
    static const std::string kSql = std::string("SELECT ") + kTakeColumns +
                                    " FROM takes t CROSS JOIN texts x ON x.id = t.texts_id "
                                    "WHERE t.id = ?";
    Statement& select = db_.cached(kSql.c_str());
    for (const std::int64_t id : ids) {
        select.bind(1, id);
        if (select.step()) {
            found.push_back(take_from_row(select));
        }
        select.reset();
    }
    return found;
}

std::optional<ArchivedTake> TakeIndex::take(std::int64_t id) {
    std::vector<ArchivedTake> found = takes({id});
    return found.empty() ? std::nullopt : std::optional<ArchivedTake>(std::move(found.front()));
}

std::optional<ArchivedTake> TakeIndex::take_named(const std::string& name) {
    const std::optional<Known> found = known(name);
    return found ? take(found->id) : std::nullopt;
}

bool TakeIndex::texts_indexed() {
    Statement& find =
        db_.cached("SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = 'takes_by_texts'");
    return find.step();
}

void TakeIndex::index_texts() {
    db_.forget_cached();
    db_.run(
        "CREATE INDEX IF NOT EXISTS takes_by_texts ON takes(texts_id, id, milliseconds, flags, "
        "added)");
}

TakeTotals TakeIndex::totals() {
    Statement& sum = db_.cached("SELECT total(takes), total(milliseconds) FROM texts");
    sum.step();
    return {sum.integer(0), sum.integer(1)};
}

std::vector<ChoiceCount> TakeIndex::labels() {
    std::vector<ChoiceCount> found;
    Statement& select = db_.cached(
        "SELECT label, sum(takes) FROM texts GROUP BY label HAVING sum(takes) > 0 "
        "ORDER BY label COLLATE NOCASE");
    while (select.step()) {
        found.push_back({select.text(0), select.integer(1)});
    }
    return found;
}

std::vector<ChoiceCount> TakeIndex::systems() {
    std::vector<ChoiceCount> found;
    Statement& select = db_.cached(
        "SELECT system, sum(takes) FROM texts GROUP BY system HAVING sum(takes) > 0 "
        "ORDER BY system COLLATE NOCASE");
    while (select.step()) {
        found.push_back({select.text(0), select.integer(1)});
    }
    return found;
}

}  // namespace taperly
