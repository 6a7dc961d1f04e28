#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace taperly {

// Rows of a CSV file (RFC 4180 as Taperly writes it: quotes doubled inside
// quoted fields, CR LF or LF line ends), one whole row at a time.
class CsvReader {
  public:
    explicit CsvReader(std::istream& in) : in_(in) {}
    // The next row's fields; false at the end, and for a last row without
    // its line end, which a writer may still be finishing.
    bool next(std::vector<std::string>& fields);
    // The bytes of the whole rows read.
    std::int64_t consumed() const { return consumed_; }

  private:
    std::istream& in_;
    std::int64_t consumed_ = 0;
};

// `text` as one CSV field: quoted only where a reader would otherwise split
// or join it.
std::string csv_field(const std::string& text);

}  // namespace taperly
