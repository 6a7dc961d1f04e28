#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace taperly {

// What the index's database refused, in SQLite's words.
class IndexError : public std::runtime_error {
  public:
    explicit IndexError(const std::string& what, bool spoilt = false)
        : std::runtime_error(what), spoilt_(spoilt) {}
    // The file is damaged or no database: only making it anew helps.
    bool spoilt() const { return spoilt_; }

  private:
    bool spoilt_;
};

class Statement;

// One connection to an SQLite file, used from one thread only.
class Database {
  public:
    // Opens (or makes) the file at `path` (UTF-8); ":memory:" for one in memory.
    explicit Database(const std::string& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Runs statements that give no rows.
    void run(const std::string& sql);
    Statement prepare(std::string_view sql);
    // A statement kept prepared while the connection lasts, for what runs
    // for every row; handed out reset.
    Statement& cached(const char* sql);
    // Finalizes what cached() kept, as changing the tables needs.
    void forget_cached();
    std::int64_t last_row_id() const;
    int changes() const;
    sqlite3* handle() const { return db_; }

  private:
    sqlite3* db_ = nullptr;
    std::unordered_map<const char*, std::unique_ptr<Statement>> cached_;
};

// A prepared statement: bind, step through its rows, reset to run it again.
class Statement {
  public:
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    // Parameters count from 1, as SQLite's do.
    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, std::string_view text);
    Statement& bind_null(int index);
    Statement& bind(int index, const std::optional<std::int64_t>& value);
    // True while there is a row to read.
    bool step();
    // Runs it to its end and makes it ready to run again.
    void run();
    void reset();

    std::int64_t integer(int column) const;
    bool is_null(int column) const;
    std::string text(int column) const;

  private:
    friend class Database;
    Statement(sqlite3* db, sqlite3_stmt* statement) : db_(db), statement_(statement) {}

    sqlite3* db_ = nullptr;
    sqlite3_stmt* statement_ = nullptr;
};

// A transaction that is rolled back unless committed.
class Transaction {
  public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

  private:
    Database& db_;
    bool open_ = true;
};

}  // namespace taperly
