#pragma once

#include <string>

namespace taperly {

// The desktop's trash: the freedesktop.org trash folder on Linux, the
// recycle bin on Windows. A file moved there can be put back by the user.
class Trash {
  public:
    virtual ~Trash() = default;
    // False, with the reason in words, when the file is where it was.
    virtual bool move_to_trash(const std::string& path, std::string& problem) = 0;
};

// Moves the take `name` of `folder` to the trash once it has proved to be
// what the Takes window lists: a plain file of that exact name in the folder
// itself, not hidden, not the log or the stars, and not a link. Empty when
// it is in the trash; else why it stays.
std::string trash_take(const std::string& folder, const std::string& name, Trash& trash);

}  // namespace taperly
