#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/archived_take.h"
#include "archive/local_zone.h"
#include "tracking/take_log.h"

namespace taperly {

// What an export made.
struct ExportOutcome {
    // Takes exported, and the files made (the CSV or the joined WAV).
    int takes = 0;
    std::vector<std::string> made;
    // Why it stopped, or what was left out; empty when all went.
    std::string problem;
};

// Told how many takes are done; returns false to stop.
using ExportProgress = std::function<bool(int done)>;

// The row a take of the index stands for, for an export's CSV: written
// through the log's own row writer, so that it reads as the log does.
TakeLogEntry row_of_take(const ArchivedTake& take, const LocalZone& zone);

// Copies `takes` (in time order) from `folder` into `target`, each under
// its name (a name taken there gets "_2", "_3" …: no file is replaced),
// with their rows in a CSV ("takes.csv", or a numbered name). Takes whose
// files are gone are left out and said.
ExportOutcome copy_takes(const std::string& folder, const std::vector<ArchivedTake>& takes,
                         const std::string& target, const LocalZone& zone,
                         const ExportProgress& progress);

// Joins `takes` (in time order) into one WAV file named `name` in `target`
// (numbered where the name is taken): every sample as it is in the takes
// (FLAC decoded), a cue point where each take begins, labelled with its
// start and talkgroup in a LIST/adtl chunk. Takes of another sound format
// than the first cannot be joined and stop it; nothing is left half made.
ExportOutcome join_takes(const std::string& folder, const std::vector<ArchivedTake>& takes,
                         const std::string& target, const std::string& name, const LocalZone& zone,
                         const ExportProgress& progress);

// A cue point's label: "2026-12-05 21:05:07 Fire Dispatch", the start in
// the time the take was recorded in (the desktop's where that is unknown).
std::string cue_label(const ArchivedTake& take, const LocalZone& zone);

}  // namespace taperly
