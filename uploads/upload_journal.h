#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "recorder/takes/native_file.h"
#include "uploads/queued_take.h"

namespace taperly {

// A take waiting in one target's queue.
struct JournalEntry {
    std::int64_t id = 0;
    // The talkgroup or slot number it goes under.
    std::string number;
    QueuedTake take;
    // Tries begun, a try a crash cut short included.
    int tries = 0;
    // Broadcastify's address for its sound, once the service gave one.
    std::string sound_url;

    bool operator==(const JournalEntry&) const = default;
};

// What a journal holds once read.
struct JournalContents {
    // Where in takes.csv rows begin that the queue may not have heard of;
    // -1 for a journal begun now.
    std::int64_t log_from = -1;
    // Oldest first.
    std::deque<JournalEntry> waiting;
    // Every take the queue heard of since log_from: queued, sent, refused,
    // or not queued for want of a number.
    std::set<std::string> known;
    std::int64_t next_id = 1;
    // Records of takes no longer waiting: what a rewrite drops.
    int ended = 0;
};

// One target's queue on the disk, written before it is acted on: each take
// queued, each try begun, each step and each end is a record appended and on
// the disk before anything is sent. A record a crash cut in half is no
// record. Records may come from the queue's thread and its sender's.
class UploadJournal {
  public:
    explicit UploadJournal(std::string path) : path_(std::move(path)) {}

    // What the journal holds, finishing a rewrite a crash interrupted.
    JournalContents replay();
    // What the journal at `path` holds, read only, changing nothing: for
    // another thread's look while its queue may be writing it.
    static JournalContents read(const std::string& path);
    // The journal anew, holding only `waiting`, heard of up to `log_from`;
    // the old one goes only once the new one is on the disk.
    bool rewrite(std::int64_t log_from, const std::deque<JournalEntry>& waiting);

    bool queued(const JournalEntry& entry) { return append({queued_record(entry)}); }
    bool queued(const std::vector<JournalEntry>& entries);
    bool passed_over(const std::string& key) { return append({{"skip", key}}); }
    bool tried(std::int64_t id) { return append({{"try", std::to_string(id)}}); }
    bool stepped(std::int64_t id, const std::string& url) {
        return append({{"step", std::to_string(id), url}});
    }
    bool ended(std::int64_t id, const std::string& outcome) {
        return append({{"done", std::to_string(id), outcome}});
    }

    const std::string& path() const { return path_; }
    // Why the last write failed, empty after one that worked.
    std::string failure() const;

  private:
    using Record = std::vector<std::string>;
    static Record queued_record(const JournalEntry& entry);
    bool append(const std::vector<Record>& records);
    bool open();

    std::string path_;
    mutable std::mutex mutex_;
    NativeFile file_;
    std::string failure_;
};

}  // namespace taperly
