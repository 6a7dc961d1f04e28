#pragma once

#include <string>

namespace taperly {

// Adds `row` (with its line end) at the end of the text file at `path`,
// whole or not at all, and waits until it is on the disk. A new file begins
// with `header`. A file that a power cut left ending in half a row gets a
// line end first, and a closing quote when that half row stopped inside a
// quoted field, so that the half row stays a row of its own and the new one
// reads whole. False, with the reason in errno, when the row may not be
// there.
bool append_whole_row(const std::string& path, const std::string& header, const std::string& row);

}  // namespace taperly
