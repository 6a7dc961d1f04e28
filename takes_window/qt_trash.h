#pragma once

#include "archive/trash.h"

namespace taperly {

// The desktop's trash through Qt: the freedesktop.org layout under
// XDG_DATA_HOME (or the trash of the file's own volume) on Linux, the
// recycle bin on Windows.
class QtTrash : public Trash {
  public:
    bool move_to_trash(const std::string& path, std::string& problem) override;
};

}  // namespace taperly
