#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "uploads/call_sender.h"
#include "uploads/upload_journal.h"
#include "uploads/upload_rows.h"
#include "uploads/upload_settings.h"

namespace taperly {

using UploadSteady = std::chrono::milliseconds;

// The clocks the queue reads: the wall clock that dates takes and rows, and
// a steady one for its waits.
class UploadClock {
  public:
    virtual ~UploadClock() = default;
    virtual std::int64_t unix_ms() = 0;
    // How far east of UTC the desktop's clock is now.
    virtual int utc_offset_seconds() = 0;
    virtual UploadSteady steady() = 0;
};

// How a target fares, for the window.
struct TargetView {
    std::string label;
    enum class Health { kWell, kFailing, kRefused, kStopped };
    Health health = Health::kWell;
    // Why it fails, was refused or stopped, in the service's or the
    // system's words.
    std::string reason;
    int waiting = 0;
    // Since when tries have failed without a take delivered.
    std::optional<UploadSteady> failing_since;
    int delivered = 0;

    bool operator==(const TargetView&) const = default;
};

// One target's queue: the oldest take first, one try at a time, every step
// in its journal before it is taken. Passing failures wait longer and longer
// (with a little chance in it, so that many recorders do not come back at
// once); a refusal ends the take; a refusal every take would meet stops the
// target until uploads.ini changes. Used from one thread.
class TargetQueue {
  public:
    TargetQueue(TargetSettings target, UploadJournal& journal, UploadRows& rows, UploadClock& clock,
                std::function<double()> chance);

    // Carries on with what the journal held.
    void start(JournalContents contents);
    // A stored take, under `number` (empty: it has none): queued and on the
    // disk, or, lacking what the target needs, a row that says why.
    void add(const QueuedTake& take, const std::string& number);
    void add(const std::vector<std::pair<QueuedTake, std::string>>& takes);
    // A take removed from the folder leaves the queue, with a row.
    void remove(const std::string& key);
    bool knows(const std::string& key) const { return known_.count(key) != 0; }

    // When the oldest take is to be tried; none while none waits, one is
    // being tried or the target is stopped.
    std::optional<UploadSteady> due() const;
    // The oldest take, its try on the disk, to be sent (on another thread,
    // while takes go on entering the queue) and its outcome told to end_try;
    // none when none is to be tried. Takes past their age end first.
    std::optional<JournalEntry> begin_try();
    // What a sender tells the address Broadcastify gave for the sound to:
    // on the disk, and in `entry`, which end_try is given back. Safe on the
    // sender's thread.
    std::function<void(const std::string&)> stepper(JournalEntry& entry);
    void end_try(const JournalEntry& tried, const TryOutcome& result);
    // Tries the oldest take once, here and now.
    void try_oldest(CallSender& sender);
    // uploads.ini was read again and still names this target the same way.
    void resume();

    TargetView view() const;
    const std::deque<JournalEntry>& waiting() const { return waiting_; }
    const TargetSettings& target() const { return target_; }

  private:
    // Why the target cannot take `take` under `number`; empty when it can.
    std::string lacking(const std::string& number) const;
    void end_oldest(const std::string& outcome, const TryOutcome& result);
    void row(const QueuedTake& take, const std::string& outcome, int http_status,
             const std::string& answer, int tries);
    bool too_old(const JournalEntry& entry);
    void passing(const TryOutcome& result);
    void journal_failed();

    TargetSettings target_;
    UploadJournal& journal_;
    UploadRows& rows_;
    UploadClock& clock_;
    std::function<double()> chance_;
    std::deque<JournalEntry> waiting_;
    std::set<std::string> known_;
    std::int64_t next_id_ = 1;
    int failures_ = 0;
    UploadSteady next_try_{0};
    std::optional<UploadSteady> failing_since_;
    std::string failing_reason_;
    std::string stopped_;
    std::string refused_;
    bool delivered_since_read_ = false;
    // The take being tried, and whether it was removed meanwhile.
    std::optional<std::int64_t> in_flight_;
    bool in_flight_removed_ = false;
    int delivered_ = 0;
};

// The wait after `failures` passing failures in a row: from `first`
// doubling up to `longest`, each spread by up to a fifth either way.
UploadSteady wait_after(int failures, UploadSteady first, UploadSteady longest, double chance);

}  // namespace taperly
