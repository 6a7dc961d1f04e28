#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace taperly {

// The takes log read row by row from a stream, never held whole: a year of
// takes is millions of rows. Reads RFC 4180 as Taperly writes it and as
// spreadsheets save it again: a byte-order mark at the start, CRLF or LF line
// ends, line ends inside quoted fields. A half row a power cut left at the
// end is read as far as it goes. Decode the fields with read_take_log_row.
class TakeLogReader {
  public:
    // No row Taperly writes comes near this; a longer one means a stray quote
    // has joined the rest of the file into one field.
    static constexpr std::int64_t kLongestRow = 64 * 1024;

    // `in` stands at byte `offset` of the log (a row's start); nothing at or
    // after byte `end` is read.
    explicit TakeLogReader(std::istream& in, std::int64_t offset = 0,
                           std::optional<std::int64_t> end = std::nullopt);

    // The next row's fields; false at the end, or at a row longer than
    // kLongestRow (too_long() then).
    bool next(std::vector<std::string>& fields);
    // Where the row last read begins, and where the next one begins.
    std::int64_t row_offset() const { return row_offset_; }
    std::int64_t offset() const { return offset_; }
    bool too_long() const { return too_long_; }
    // Whether the row last read ended with its line end: one that did not
    // may still be being written.
    bool row_ended() const { return row_ended_; }

  private:
    bool fill();

    std::istream& in_;
    std::vector<char> buffer_;
    std::size_t at_ = 0;
    std::size_t size_ = 0;
    std::int64_t offset_;
    std::int64_t row_offset_;
    // How far into the log the stream has been read.
    std::int64_t read_to_;
    std::optional<std::int64_t> end_;
    bool too_long_ = false;
    bool row_ended_ = false;
};

}  // namespace taperly
