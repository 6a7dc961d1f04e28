#pragma once

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "archive/csv_rows.h"
#include "tracking/take_log.h"

namespace taperly {

// Reads takes.csv row by row from a byte offset, as the index catches up
// with it: the columns found by the header's names (a spreadsheet's byte
// order mark, CR LF or LF line ends and extra columns are read), each row
// as the entry it was written from. Only whole rows are read: a row still
// missing its line end is left for the next time, when the writer has
// finished or mended it.
class LogStream {
  public:
    // At `from` (0, or an offset() of an earlier stream over the same log).
    LogStream(const std::string& path, std::int64_t from);

    // Whether the file is there and begins with a takes log's header.
    bool is_log() const { return is_log_; }
    // The next whole row; none at the end.
    std::optional<TakeLogEntry> next();
    // Where the rows not read yet begin.
    std::int64_t offset() const { return rows_ ? start_ + rows_->consumed() : 0; }
    // The log's length when it was opened.
    std::int64_t size() const { return size_; }

  private:
    std::ifstream file_;
    std::optional<CsvReader> rows_;
    bool is_log_ = false;
    // Where the reader began: 0, or where an earlier stream stopped.
    std::int64_t start_ = 0;
    std::int64_t size_ = 0;
    // Where each of the known columns is; -1 where the header has none.
    std::vector<int> columns_;
    std::vector<std::string> fields_;
};

}  // namespace taperly
