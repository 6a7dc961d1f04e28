#pragma once

#include <mutex>
#include <string>

#include "tracking/take_log.h"

namespace taperly {

// The takes log as `takes.csv` in the takes folder: one row appended and on
// the disk at the end of every take. The row of a take stored gets what
// identifies its file then (take_identity.h), so that keeping takes can tell
// later whether the file is still that take. A row that cannot be written is told on
// standard error, once until a row is written again; the take is never
// held up by it. Rows added from several threads are written one at a time.
class TakeLogFile : public TakeLog {
  public:
    explicit TakeLogFile(std::string takes_folder);
    void add(const TakeLogEntry& entry) override;
    const std::string& path() const { return path_; }

  private:
    std::string folder_;
    std::string path_;
    std::mutex writing_;
    bool failing_ = false;
};

}  // namespace taperly
