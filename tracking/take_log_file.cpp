#include "tracking/take_log_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "recorder/takes/appended_rows.h"
#include "settings/file_exists.h"
#include "tracking/take_identity.h"
#include "tracking/take_log_codec.h"

namespace taperly {

TakeLogFile::TakeLogFile(std::string takes_folder)
    : folder_(std::move(takes_folder)), path_(join_path(folder_, "takes.csv")) {}

void TakeLogFile::add(const TakeLogEntry& entry) {
    TakeLogEntry row = entry;
    if (outcome_word(row.outcome).stores_take && !row.file_bytes && !row.file_name.empty()) {
        if (const std::optional<TakeIdentity> identity =
                identify_file(join_path(folder_, row.file_name))) {
            row.file_bytes = identity->bytes;
            row.fingerprint = identity->fingerprint;
        }
    }
    const std::lock_guard lock(writing_);
    if (append_whole_row(path_, take_log_header(), take_log_row(row))) {
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
