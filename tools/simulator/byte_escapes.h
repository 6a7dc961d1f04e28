#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace taperly::sim {

class EscapeError : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};

// Bytes written with C-like escapes: \r \n \t \0 \\ and \xHH (two hex
// digits). Throws EscapeError for any other backslash sequence.
std::string unescape_bytes(std::string_view text);

// The reverse: printable ASCII as it is, everything else escaped, so a log
// line shows every byte that went over the line and reads back exactly.
std::string escape_bytes(std::string_view bytes);

}  // namespace taperly::sim
