#include "archive/sqlite_db.h"

#include <sqlite3.h>

#include <utility>

namespace taperly {

namespace {

bool is_spoilt(sqlite3* db) {
    const int code = db != nullptr ? sqlite3_errcode(db) & 0xFF : SQLITE_OK;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

[[noreturn]] void fail(sqlite3* db, const std::string& what) {
    throw IndexError(what + ": " + (db != nullptr ? sqlite3_errmsg(db) : "out of memory"),
                     is_spoilt(db));
}

}  // namespace

Database::Database(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        const std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw IndexError("the takes' index " + path + " cannot be opened: " + message);
    }
    // Another Taperly reading the same index holds it for moments only.
    sqlite3_busy_timeout(db_, 2000);
}

Database::~Database() {
    cached_.clear();
    sqlite3_close_v2(db_);
}

Statement& Database::cached(const char* sql) {
    auto& statement = cached_[sql];
    if (!statement) {
        statement = std::make_unique<Statement>(prepare(sql));
    } else {
        statement->reset();
    }
    return *statement;
}

void Database::forget_cached() {
    cached_.clear();
}

void Database::run(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message != nullptr ? message : "unknown";
        sqlite3_free(message);
        throw IndexError("the takes' index failed: " + text, is_spoilt(db_));
    }
}

Statement Database::prepare(std::string_view sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement, nullptr) !=
        SQLITE_OK) {
        fail(db_, "the takes' index cannot run " + std::string(sql));
    }
    return Statement(db_, statement);
}

std::int64_t Database::last_row_id() const {
    return sqlite3_last_insert_rowid(db_);
}

int Database::changes() const {
    return sqlite3_changes(db_);
}

Statement::Statement(Statement&& other) noexcept
    : db_(other.db_), statement_(std::exchange(other.statement_, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(statement_);
        db_ = other.db_;
        statement_ = std::exchange(other.statement_, nullptr);
    }
    return *this;
}

Statement::~Statement() {
    sqlite3_finalize(statement_);
}

Statement& Statement::bind(int index, std::int64_t value) {
    if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK) {
        fail(db_, "binding a number");
    }
    return *this;
}

Statement& Statement::bind(int index, std::string_view text) {
    if (sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK) {
        fail(db_, "binding a text");
    }
    return *this;
}

Statement& Statement::bind_null(int index) {
    if (sqlite3_bind_null(statement_, index) != SQLITE_OK) {
        fail(db_, "binding nothing");
    }
    return *this;
}

Statement& Statement::bind(int index, const std::optional<std::int64_t>& value) {
    return value ? bind(index, *value) : bind_null(index);
}

bool Statement::step() {
    const int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW) {
        return true;
    }
    if (result != SQLITE_DONE) {
        const std::string sql = sqlite3_sql(statement_);
        sqlite3_reset(statement_);
        fail(db_, "the takes' index failed in " + sql);
    }
    return false;
}

void Statement::run() {
    while (step()) {
    }
    reset();
}

void Statement::reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

std::int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

bool Statement::is_null(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::string Statement::text(int column) const {
    const auto* bytes = sqlite3_column_text(statement_, column);
    return bytes == nullptr
               ? std::string()
               : std::string(reinterpret_cast<const char*>(bytes),
                             static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
}

Transaction::Transaction(Database& db) : db_(db) {
    db_.run("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (open_) {
        try {
            db_.run("ROLLBACK");
        } catch (const IndexError&) {
            // Nothing was committed; the index is only a cache.
        }
    }
}

void Transaction::commit() {
    db_.run("COMMIT");
    open_ = false;
}

}  // namespace taperly
