#pragma once

#include <string>

namespace taperly {

// Whether `path` names an existing file. A folder does not count; anything
// else that occupies the name (a link, even a dangling one) does, because a
// take must never be written over it.
bool file_exists(const std::string& path);

// `folder` and `name` joined with the platform's separator.
std::string join_path(const std::string& folder, const std::string& name);

}  // namespace taperly
