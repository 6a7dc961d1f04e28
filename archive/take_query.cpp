#include "archive/take_query.h"

#include <atomic>
#include <limits>

#include "archive/search_words.h"

namespace taperly {

namespace {

constexpr int kSecondShift = 20;
// Chosen texts that hold fewer than this share of the takes are listed
// through the texts' index and sorted; more, by reading takes themselves in
// time order, where matches are met soon.

constexpr std::int64_t kFewShare = 20;

std::int64_t id_of_second(std::int64_t seconds) {
    return std::max<std::int64_t>(seconds, 0) << kSecondShift;
}

std::string placeholders(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += i == 0 ? "?" : ", ?";
    }
    return text;
}

std::string joined(const std::vector<std::string>& words) {
    std::string query;
    for (const std::string& word : words) {
        query += (query.empty() ? "" : " ") + word_beginning(word);
    }
    return query;
}

}  // namespace

TakeQuery::TakeQuery(TakeIndex& index, const TakeFilter& filter, QueryPlan plan)
    : index_(index), filter_(filter), plan_(plan), words_(search_words(filter.words)) {
    Database& db = index_.db();
    snapshot_ = index_.added_mark();
    texts_indexed_ = index_.texts_indexed();
    all_totals_ = index_.totals();
    // Words some take's name holds beyond its texts are looked for per
    // take; the rest only among the texts.
    std::vector<std::string> text_words;
    for (const std::string& word : words_) {
        Statement named = db.prepare("SELECT 1 FROM name_words WHERE name_words MATCH ? LIMIT 1");
        named.bind(1, word_beginning(word));
        (named.step() ? per_take_words_ : text_words).push_back(word);
    }
    texts_chosen_ = !text_words.empty() || !filter.labels.empty() || !filter.systems.empty();
    if (!texts_chosen_) {
        return;
    }
    static std::atomic<int> made{0};
    chosen_table_ = "temp.chosen_" + std::to_string(++made);
    db.run("CREATE TABLE " + chosen_table_ + "(id INTEGER PRIMARY KEY)");
    std::string sql = "INSERT INTO " + chosen_table_ + " SELECT id FROM texts WHERE 1";
    if (!text_words.empty()) {
        sql += " AND id IN (SELECT rowid FROM text_words WHERE text_words MATCH ?)";
    }
    if (!filter.labels.empty()) {
        sql += " AND label IN (" + placeholders(filter.labels.size()) + ")";
    }
    if (!filter.systems.empty()) {
        sql += " AND system IN (" + placeholders(filter.systems.size()) + ")";
    }
    Statement choose = db.prepare(sql);
    int at = 1;
    if (!text_words.empty()) {
        choose.bind(at++, joined(text_words));
    }
    for (const auto* list : {&filter.labels, &filter.systems}) {
        for (const std::string& text : *list) {
            choose.bind(at++, text);
        }
    }
    choose.run();
    Statement sum = db.prepare("SELECT total(takes), total(milliseconds) FROM texts WHERE id IN " +
                               chosen_table_);
    sum.step();
    chosen_totals_ = {sum.integer(0), sum.integer(1)};
}

TakeQuery::~TakeQuery() {
    if (!chosen_table_.empty()) {
        try {
            index_.db().run("DROP TABLE IF EXISTS " + chosen_table_);
        } catch (const IndexError&) {
            // A temporary table goes with the connection anyway.
        }
    }
}

TakeQuery::Clause TakeQuery::where(bool snapshot) const {
    Clause clause{"1", {}};
    if (texts_chosen_) {
        clause.sql += " AND t.texts_id IN " + chosen_table_;
    }
    for (const std::string& word : per_take_words_) {
        clause.sql +=
            " AND (t.texts_id IN (SELECT rowid FROM text_words WHERE text_words MATCH ?) OR "
            "t.id IN (SELECT rowid FROM name_words WHERE name_words MATCH ?))";
        clause.parameters.emplace_back(word_beginning(word));
        clause.parameters.emplace_back(word_beginning(word));
    }
    if (filter_.bounds) {
        clause.sql += " AND t.id >= ?";
        clause.parameters.emplace_back(id_of_second(filter_.bounds->from));
        if (filter_.bounds->to < (std::numeric_limits<std::int64_t>::max() >> kSecondShift)) {
            clause.sql += " AND t.id < ?";
            clause.parameters.emplace_back(id_of_second(filter_.bounds->to));
        }
    }
    if (filter_.starred_only) {
        clause.sql += " AND t.flags & 2 = 2";
    }
    if (snapshot && index_.added_mark() > snapshot_) {
        clause.sql += " AND t.added <= ?";
        clause.parameters.emplace_back(snapshot_);
    }
    return clause;
}

bool TakeQuery::matches_nothing() const {
    return texts_chosen_ && chosen_totals_.takes == 0;
}

bool TakeQuery::texts_are_few() const {
    if (plan_ != QueryPlan::kChosen) {
        return plan_ == QueryPlan::kTexts;
    }
    return texts_chosen_ && chosen_totals_.takes * kFewShare < all_totals_.takes;
}

std::string TakeQuery::listing_table() const {
    if (filter_.starred_only) {
        return "takes t INDEXED BY takes_starred";
    }
    if (!texts_are_few()) {
        return "takes t NOT INDEXED";
    }
    // Before its texts' index is made, the small index of times serves.
    return texts_indexed_ ? "takes t INDEXED BY takes_by_texts"
                          : "takes t INDEXED BY takes_by_time";
}

std::string TakeQuery::counting_table() const {
    if (filter_.starred_only) {
        return "takes t INDEXED BY takes_starred";
    }
    return texts_are_few() && texts_indexed_ ? "takes t INDEXED BY takes_by_texts"
                                             : "takes t INDEXED BY takes_by_time";
}

Statement TakeQuery::prepare(const std::string& sql, const Clause& clause,
                             const std::vector<Parameter>& more) {
    Statement statement = index_.db().prepare(sql);
    int at = 1;
    for (const auto* list : {&clause.parameters, &more}) {
        for (const Parameter& parameter : *list) {
            std::visit([&statement, &at](const auto& value) { statement.bind(at++, value); },
                       parameter);
        }
    }
    return statement;
}

TakeTotals TakeQuery::totals() {
    if (matches_nothing()) {
        return {};
    }
    const Clause clause = where(true);
    if (per_take_words_.empty() && !filter_.bounds && !filter_.starred_only &&
        clause.parameters.empty()) {
        // The texts' own counts answer at once.
        return texts_chosen_ ? chosen_totals_ : all_totals_;
    }
    Statement count = prepare(
        "SELECT count(*), total(t.milliseconds) FROM " + counting_table() + " WHERE " + clause.sql,
        clause);
    count.step();
    return {count.integer(0), count.integer(1)};
}

std::vector<ArchivedTake> TakeQuery::page(std::int64_t offset, int count,
                                          std::optional<std::int64_t> below_id) {
    if (matches_nothing()) {
        return {};
    }
    const Clause clause = where(true);
    std::vector<Parameter> more;
    std::string sql = std::string("SELECT ") + kTakeColumns + " FROM " + listing_table() +
                      " CROSS JOIN texts x ON x.id = t.texts_id WHERE " + clause.sql;
    if (below_id) {
        sql += " AND t.id < ?";
        more.emplace_back(*below_id);
        offset = 0;
    }
    sql += " ORDER BY t.id DESC LIMIT ? OFFSET ?";
    more.emplace_back(static_cast<std::int64_t>(count));
    more.emplace_back(offset);
    Statement select = prepare(sql, clause, more);
    std::vector<ArchivedTake> takes;
    while (select.step()) {
        takes.push_back(take_from_row(select));
    }
    return takes;
}

std::vector<ArchivedTake> TakeQuery::matching(const std::vector<std::int64_t>& ids) {
    if (ids.empty() || matches_nothing()) {
        return {};
    }
    const Clause clause = where(false);
    std::string list;
    for (const std::int64_t id : ids) {
        list += (list.empty() ? "" : ", ") + std::to_string(id);
    }
    Statement select = prepare(std::string("SELECT ") + kTakeColumns +
                                   " FROM takes t CROSS JOIN texts x ON x.id = t.texts_id WHERE " +
                                   clause.sql + " AND t.id IN (" + list + ") ORDER BY t.id DESC",
                               clause);
    std::vector<ArchivedTake> takes;
    while (select.step()) {
        takes.push_back(take_from_row(select));
    }
    return takes;
}

std::vector<ArchivedTake> TakeQuery::from(std::int64_t id, int count, bool first_included) {
    if (matches_nothing()) {
        return {};
    }
    const Clause clause = where(false);
    Statement select = prepare(std::string("SELECT ") + kTakeColumns + " FROM " + listing_table() +
                                   " CROSS JOIN texts x ON x.id = t.texts_id " + "WHERE " +
                                   clause.sql + " AND t.flags & 1 AND t.id " +
                                   (first_included ? ">=" : ">") + " ? ORDER BY t.id LIMIT ?",
                               clause, {id, static_cast<std::int64_t>(count)});
    std::vector<ArchivedTake> takes;
    while (select.step()) {
        takes.push_back(take_from_row(select));
    }
    return takes;
}

std::int64_t TakeQuery::row_of(std::int64_t id) {
    if (matches_nothing()) {
        return 0;
    }

    const Clause clause = where(true);
    Statement count = prepare(
        "SELECT count(*) FROM " + counting_table() + " WHERE " + clause.sql + " AND t.id > ?",
        clause, {id});
    count.step();
    return count.integer(0);
}

}  // namespace taperly
