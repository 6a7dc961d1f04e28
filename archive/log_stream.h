#pragma once

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tracking/take_log.h"
#include "tracking/take_log_reader.h"

namespace taperly {

// Reads takes.csv row by row from a byte offset through the log's own codec,
// as the index catches up with it. Only whole rows are read: a row still
// missing its line end is left for the next time, when the writer has
// finished or mended it.
class LogStream {
  public:
    // At `from` (0, or an offset() of an earlier stream over the same log).
    LogStream(const std::string& path, std::int64_t from);

    // Whether the log could be opened.
    bool is_log() const { return reader_.has_value(); }
    // The next whole row that is a take's; none at the end.
    std::optional<TakeLogEntry> next();
    // Where the rows not read yet begin.
    std::int64_t offset() const { return offset_; }
    // The log's length when it was opened.
    std::int64_t size() const { return size_; }

  private:
    std::ifstream file_;
    std::optional<TakeLogReader> reader_;
    std::vector<std::string> fields_;
    std::int64_t offset_ = 0;
    std::int64_t size_ = 0;
};

}  // namespace taperly
