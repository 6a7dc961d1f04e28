#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "keeping/take_stars.h"
#include "keeping/watched_time.h"
#include "tracking/clock.h"
#include "tracking/take_log.h"

namespace taperly {

// The names Taperly keeps beside the takes for keeping them.
inline constexpr const char* kTakesLogName = "takes.csv";
inline constexpr const char* kKeepingStateName = ".taperly-keeping";

// What one pass did, and why keeping does not work, if it does not (empty
// while it works).
struct KeepingReport {
    int removed = 0;
    int kept = 0;
    std::string trouble;
};

// Takes that stay whatever their age, as another room says: those still
// waiting for an upload, those a user starred. Asked once a pass, from
// keeping's thread.
class TakesToKeep {
  public:
    virtual ~TakesToKeep() = default;
    // The names of the takes that must stay now.
    virtual std::vector<std::string> takes_to_keep() const = 0;
};

// Keeps takes for `days` days only. A pass removes a file only when all of
// these hold: the last row of takes.csv that names it (as the folder
// compares names) says Taperly stored it there, with what identified the
// file then; the name has the shape Taperly gives takes (take_name_shape.h);
// the row ended (a recovered take's: began) more than `days` days ago by the
// wall clock and has been watched that long in real time (watched_time.h);
// the user has not starred it (take_stars.h: a starred take gets a row
// "kept: starred" once and is kept for good); the file is still the one
// stored (checked_removal.h); and no room that keeps takes holds it
// (TakesToKeep), until it lets go. Each take
// removed gets a row "removed"; one found changed or no longer a plain file
// is kept and gets a row "kept: …" once, which is then its last row. Where
// the log cannot tell, the take is kept.
//
// The log is streamed, never held: a pass collects at most `most_candidates`
// takes old enough, reads on to the log's end to drop those a later row
// names, removes the rest, and goes on from where it stopped collecting.
// Rows decided for good are not read again in later passes.
class TakesKeeping {
  public:
    // `names_ignore_case`: none, as the folder tells. `stars`: none keeps
    // no take for a star.
    TakesKeeping(std::string folder, int days, TakeLog& log,
                 std::optional<bool> names_ignore_case = std::nullopt,
                 std::size_t most_candidates = 10000, const TakeStars* stars = nullptr);

    // Takes `held` says must stay are kept and looked at again later; set
    // before the first pass. None: no room holds any.
    void keep_also(const TakesToKeep* held) { held_ = held; }

    // One pass, at `wall_now` by the desktop's clock and `steady_now` by this
    // run's steady clock. It stops early, deciding nothing more, once
    // `ending` is set.
    KeepingReport pass(const LocalTime& wall_now, SteadyTime steady_now,
                       const std::atomic<bool>& ending);

  private:
    std::string folder_;
    int days_;
    TakeLog& log_;
    std::optional<bool> names_ignore_case_;
    std::size_t most_candidates_;
    const TakeStars* stars_;

    WatchedTime watched_;
    const TakesToKeep* held_ = nullptr;
};

}  // namespace taperly
