#include "tracking/take_log_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "recorder/takes/appended_rows.h"
#include "settings/file_exists.h"

namespace taperly {

TakeLogFile::TakeLogFile(std::string takes_folder) : path_(join_path(takes_folder, "takes.csv")) {}

void TakeLogFile::add(const TakeLogEntry& entry) {
    const std::lock_guard lock(writing_);
    if (append_whole_row(path_, take_log_header(), take_log_row(entry))) {
        failing_ = false;
        return;
    }
    if (!failing_) {
        std::fprintf(stderr,
                     "Taperly: the takes log %s cannot be written (%s); takes are saved "
                     "all the same\n",
                     path_.c_str(), std::strerror(errno));
    }
    failing_ = true;
}

}  // namespace taperly
