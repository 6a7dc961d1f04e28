#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tracking/clock.h"

namespace taperly {

// How long a row of the takes log has been watched by Taperly, counted in
// real time and never read off the wall clock, which may be set back, set
// forward or reset by a dead battery. Each pass of keeping adds a
// checkpoint to a small state file beside the takes: the log's length then
// and the running total of milliseconds Taperly has watched, advanced by the
// steady clock between passes within one run (time while Taperly is not
// running is not counted: a take is kept longer, never removed early). A row
// at byte o was written before the first checkpoint whose length is beyond
// o, so it has been watched at least as long as the total has grown since.
// A log found shorter, or whose ends up to the last checkpoint's length have
// changed (a spreadsheet saved it again, another log was copied over it),
// starts the checkpoints afresh: every row counts as written now.
class WatchedTime {
  public:
    struct Checkpoint {
        std::int64_t log_bytes = 0;
        std::int64_t watched_ms = 0;
        // The log's ends up to log_bytes (take_identity.h).
        std::string log_check;
        // Where the first row not yet decided for good begins.
        std::int64_t settled = 0;
    };

    // One pass's view.
    struct Pass {
        std::int64_t watched_ms = 0;
        // The checkpoints beyond `settled`, oldest first.
        std::vector<Checkpoint> checkpoints;
        std::int64_t settled = 0;
        bool afresh = false;
        // How long the row at byte `offset` has been watched at least.
        std::int64_t age_ms(std::int64_t offset) const;
        // Where the rows watched for less than `ms` begin: every row
        // before is older, none after.
        std::int64_t watched_longer_until(std::int64_t ms) const;
    };

    // The state kept in the file at `state_path`.
    explicit WatchedTime(std::string state_path);

    // Begins a pass over the log at `log_path`, now `log_bytes` long, at
    // `steady_now` of this run's steady clock.
    Pass begin(const std::string& log_path, std::int64_t log_bytes, SteadyTime steady_now);
    // Adds this pass's checkpoint (the file is written anew when it began
    // afresh, or holds many checkpoints no row needs any longer); false, with
    // the reason in `trouble`, when it could not be written.
    bool end(const Pass& pass, const std::string& log_path, std::int64_t log_bytes,
             std::int64_t settled, std::string& trouble);

  private:
    std::vector<Checkpoint> read_checkpoints(bool& whole) const;

    std::string path_;
    // What this run has counted, and when.
    std::optional<std::int64_t> run_watched_ms_;
    SteadyTime run_steady_{0};
    std::size_t lines_ = 0;
};

}  // namespace taperly
