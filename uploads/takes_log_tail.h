#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "tracking/take_log.h"

namespace taperly {

// Reads the rows of the takes log at `path` from byte `from` on (a row a
// crash or a writer left half made at the end is left for next time), each
// as the entry it was written from, as far as the log tells it; the header
// names the columns. The byte after the last whole row read.
std::int64_t read_takes_log_from(const std::string& path, std::int64_t from,
                                 const std::function<void(const TakeLogEntry&)>& row);

}  // namespace taperly
