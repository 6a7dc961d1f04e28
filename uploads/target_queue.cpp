#include "uploads/target_queue.h"

#include <algorithm>
#include <cmath>

#include "uploads/queued_take.h"

namespace taperly {

namespace {

using Kind = TryOutcome::Kind;

std::string iso_now(UploadClock& clock) {
    return rfc3339(clock.unix_ms(), clock.utc_offset_seconds());
}

}  // namespace

UploadSteady wait_after(int failures, UploadSteady first, UploadSteady longest, double chance) {
    double wait = static_cast<double>(first.count());
    for (int i = 1; i < failures && wait < static_cast<double>(longest.count()); ++i) {
        wait *= 2;
    }
    wait = std::min(wait, static_cast<double>(longest.count()));
    wait *= 0.8 + 0.4 * std::clamp(chance, 0.0, 1.0);
    return UploadSteady(
        static_cast<long long>(std::min(wait, static_cast<double>(longest.count()))));
}

TargetQueue::TargetQueue(TargetSettings target, UploadJournal& journal, UploadRows& rows,
                         UploadClock& clock, std::function<double()> chance)
    : target_(std::move(target)),
      journal_(journal),
      rows_(rows),
      clock_(clock),
      chance_(std::move(chance)) {}

void TargetQueue::start(JournalContents contents) {
    waiting_ = std::move(contents.waiting);
    known_ = std::move(contents.known);
    next_id_ = contents.next_id;
    next_try_ = clock_.steady();
}

std::string TargetQueue::lacking(const std::string& number) const {
    if (target_.kind == TargetKind::kCommand || !number.empty()) {
        return {};
    }
    return target_.kind == TargetKind::kBroadcastifyCalls
               ? "no talkgroup number or slot ID (give its text one in uploads.ini)"
               : "no talkgroup number (give its text one under [talkgroups] in uploads.ini)";
}

void TargetQueue::add(const QueuedTake& take, const std::string& number) {
    add({{take, number}});
}

void TargetQueue::add(const std::vector<std::pair<QueuedTake, std::string>>& takes) {
    std::vector<JournalEntry> queued;
    for (const auto& [take, number] : takes) {
        if (!known_.insert(take.key()).second) {
            continue;
        }
        const std::string lacks = lacking(number);
        if (!lacks.empty()) {
            if (!journal_.passed_over(take.key())) {
                journal_failed();
            }
            row(take, "not queued: " + lacks, 0, {}, 0);
            continue;
        }
        queued.push_back({next_id_++, number, take, 0, {}});
    }
    if (queued.empty()) {
        return;
    }
    // On the disk before anything is sent: a take queued is never lost.
    if (!journal_.queued(queued)) {
        journal_failed();
    }
    if (waiting_.empty()) {
        next_try_ = std::max(next_try_, clock_.steady());
    }
    waiting_.insert(waiting_.end(), queued.begin(), queued.end());
}

void TargetQueue::remove(const std::string& key) {
    const auto entry = std::find_if(waiting_.begin(), waiting_.end(),
                                    [&key](const JournalEntry& e) { return e.take.key() == key; });
    if (entry == waiting_.end()) {
        return;
    }
    if (in_flight_ == entry->id) {
        in_flight_removed_ = true;
        return;
    }
    if (!journal_.ended(entry->id, "removed")) {
        journal_failed();
    }
    row(entry->take, "removed before upload", 0, {}, entry->tries);
    waiting_.erase(entry);
}

std::optional<UploadSteady> TargetQueue::due() const {
    if (waiting_.empty() || !stopped_.empty() || in_flight_) {
        return std::nullopt;
    }
    return next_try_;
}

bool TargetQueue::too_old(const JournalEntry& entry) {
    // Once Broadcastify has the call's facts, its sound still goes.
    if (!entry.sound_url.empty()) {
        return false;
    }
    return clock_.unix_ms() - entry.take.end_ms > target_.max_age.count();
}

std::optional<JournalEntry> TargetQueue::begin_try() {
    while (!waiting_.empty() && !in_flight_ && too_old(waiting_.front())) {
        TryOutcome late;
        late.reason = "older than " + std::to_string(target_.max_age.count() / 1000) + " s";
        refused_ = "too late: " + late.reason;
        end_oldest("too late", late);
    }
    if (waiting_.empty() || !stopped_.empty() || in_flight_) {
        return std::nullopt;
    }
    JournalEntry& entry = waiting_.front();
    if (!journal_.tried(entry.id)) {
        journal_failed();
    }
    ++entry.tries;
    in_flight_ = entry.id;
    in_flight_removed_ = false;
    return entry;
}

std::function<void(const std::string&)> TargetQueue::stepper(JournalEntry& entry) {
    // On the sender's thread: the journal takes records from both.
    return [this, &entry](const std::string& url) {
        entry.sound_url = url;
        journal_.stepped(entry.id, url);
    };
}

void TargetQueue::try_oldest(CallSender& sender) {
    std::optional<JournalEntry> entry = begin_try();
    if (entry) {
        const TryOutcome result = sender.send(*entry, stepper(*entry));
        end_try(*entry, result);
    }
}

void TargetQueue::end_try(const JournalEntry& tried, const TryOutcome& result) {
    in_flight_.reset();
    if (!journal_.failure().empty()) {
        journal_failed();
    }
    JournalEntry& entry = waiting_.front();
    entry.sound_url = tried.sound_url;
    const bool delivered = result.kind == Kind::kDelivered || result.kind == Kind::kAlreadyThere;
    // Removed from the folder while it was being sent: it got there, or it
    // goes now.
    if (in_flight_removed_ && !delivered) {
        end_oldest("removed before upload", {});
        return;
    }
    switch (result.kind) {
        case Kind::kDelivered:
        case Kind::kAlreadyThere:
            failures_ = 0;
            failing_since_.reset();
            refused_.clear();
            delivered_since_read_ = true;
            ++delivered_;
            end_oldest(result.kind == Kind::kDelivered ? "delivered" : "delivered (already there)",
                       result);
            next_try_ = clock_.steady();
            return;
        case Kind::kTooLate:
            // Every take too late tells of a clock gone wrong.
            refused_ = "too late: " + result.reason;
            end_oldest("too late", result);
            return;
        case Kind::kTargetRefused:
            // A key may be good for some talkgroups only: once it has
            // delivered, its refusal is this take's.
            if (!(result.may_be_this_take_only && delivered_since_read_)) {
                stopped_ = result.reason;
                row(entry.take, "target stopped: " + result.reason, result.http_status,
                    result.answer, entry.tries);
                return;
            }
            [[fallthrough]];
        case Kind::kRefused:
            refused_ = result.reason;
            end_oldest("refused: " + result.reason, result);
            return;
        case Kind::kPassing:
            passing(result);
            return;
        case Kind::kCancelled:
            return;
    }
}

void TargetQueue::passing(const TryOutcome& result) {
    const UploadSteady now = clock_.steady();
    ++failures_;
    if (!failing_since_) {
        failing_since_ = now;
    }
    failing_reason_ = result.reason;
    next_try_ = now + (result.retry_after ? *result.retry_after
                                          : wait_after(failures_, target_.first_wait,
                                                       target_.longest_wait, chance_()));
}

void TargetQueue::end_oldest(const std::string& outcome, const TryOutcome& result) {
    const JournalEntry entry = waiting_.front();
    if (!journal_.ended(entry.id, outcome)) {
        journal_failed();
    }
    waiting_.pop_front();
    const bool plain = outcome.starts_with("delivered") || outcome.starts_with("refused");
    row(entry.take, plain || result.reason.empty() ? outcome : outcome + ": " + result.reason,
        result.http_status, result.answer, entry.tries);
}

void TargetQueue::row(const QueuedTake& take, const std::string& outcome, int http_status,
                      const std::string& answer, int tries) {
    rows_.add({iso_now(clock_), take.file_name, target_.id(), outcome, http_status, answer, tries});
}

void TargetQueue::resume() {
    stopped_.clear();
    refused_.clear();
    failures_ = 0;
    failing_since_.reset();
    delivered_since_read_ = false;
    next_try_ = clock_.steady();
}

void TargetQueue::journal_failed() {
    if (!failing_since_) {
        failing_since_ = clock_.steady();
    }
    failing_reason_ = "its queue cannot be written (" + journal_.failure() + ")";
}

TargetView TargetQueue::view() const {
    TargetView view;
    view.label = target_.label();
    view.waiting = static_cast<int>(waiting_.size());
    view.delivered = delivered_;
    view.failing_since = failing_since_;
    if (!stopped_.empty()) {
        view.health = TargetView::Health::kStopped;
        view.reason = stopped_;
    } else if (failing_since_) {
        view.health = TargetView::Health::kFailing;
        view.reason = failing_reason_;
    } else if (!refused_.empty()) {
        view.health = TargetView::Health::kRefused;
        view.reason = refused_;
    }
    return view;
}

}  // namespace taperly
