#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/log_stream.h"
#include "archive/take_archive.h"
#include "archive/take_index.h"

namespace taperly {

// Brings an index up to date with its folder in small steps, each one
// transaction, so that searches are answered between them: the log's rows
// since it was last read (all of them when it is another log now), the
// stars file, the folder's files (which takes are missing), and what the
// takes found without rows say of themselves.
class IndexOpening {
  public:
    explicit IndexOpening(TakeIndex& index) : index_(index) {}

    // One step; false once everything is done. `changes` gathers what the
    // steps did; `progress` tells how far they are.
    bool step(IndexChanges& changes, OpenProgress& progress);
    // Whether the stage just finished changed so much that what is shown
    // should be asked again.
    bool stage_ended() const { return stage_ended_; }

  private:
    enum class Stage { kStart, kLog, kStars, kListing, kMarking, kFinding, kFiles, kDone };

    void start_log();
    bool read_log(IndexChanges& changes);
    void read_stars(IndexChanges& changes);
    // One step through the names in the folder that may be takes; false
    // once they are all told (or the folder cannot be listed).
    bool walk(const std::function<void(const std::string& name)>& found);
    bool mark(IndexChanges& changes);
    bool read_files(IndexChanges& changes);

    TakeIndex& index_;
    Stage stage_ = Stage::kStart;
    bool stage_ended_ = false;
    std::unique_ptr<LogStream> log_;
    std::string log_head_;
    std::optional<std::filesystem::directory_iterator> walking_;
    bool listing_failed_ = false;
    // The keys of the names found, of the takes known, and of the names
    // found that no take has: a few megabytes for a year of takes, where the
    // names themselves would be a hundred.
    std::vector<std::int64_t> listed_;
    std::vector<std::int64_t> known_;
    std::vector<std::int64_t> unknown_keys_;
    std::int64_t marked_after_ = 0;
    std::vector<std::string> unknown_;
    std::size_t read_ = 0;
};

}  // namespace taperly
