#include "uploads/target_queue.h"

#include <gtest/gtest.h>

#include <deque>

#include "support/temp_folder.h"

namespace taperly {
namespace {

using Kind = TryOutcome::Kind;
using std::chrono::milliseconds;

class FakeUploadClock : public UploadClock {
  public:
    std::int64_t unix_ms() override { return unix; }
    int utc_offset_seconds() override { return 0; }
    UploadSteady steady() override { return now; }
    std::int64_t unix = 1796810600000;
    UploadSteady now{1000000};
};

// Answers each try with the next outcome given, and logs which take it was.
class FakeSender : public CallSender {
  public:
    TryOutcome send(const JournalEntry& entry,
                    const std::function<void(const std::string&)>& stepped) override {
        tried.push_back(entry.take.file_name);
        TryOutcome outcome;
        outcome.kind = Kind::kDelivered;
        if (!outcomes.empty()) {
            outcome = outcomes.front();
            outcomes.pop_front();
        }
        if (!outcome.answer.empty() && outcome.answer.starts_with("https://")) {
            stepped(outcome.answer);
        }
        return outcome;
    }
    std::deque<TryOutcome> outcomes;
    std::vector<std::string> tried;
};

class FakeRows : public UploadRows {
  public:
    void add(const UploadRow& row) override {
        rows.push_back(row.file + " " + row.outcome + " " + std::to_string(row.tries));
    }
    std::vector<std::string> rows;
};

TryOutcome failing(const std::string& reason, std::optional<milliseconds> retry_after = {}) {
    TryOutcome outcome;
    outcome.kind = Kind::kPassing;
    outcome.reason = reason;
    outcome.retry_after = retry_after;
    return outcome;
}

TryOutcome outcome_of(Kind kind, const std::string& answer = {}) {
    TryOutcome outcome;
    outcome.kind = kind;
    outcome.answer = answer;
    return outcome;
}

TryOutcome refusal(Kind kind, const std::string& reason, bool this_take_only = false) {
    TryOutcome outcome;
    outcome.kind = kind;
    outcome.reason = reason;
    outcome.may_be_this_take_only = this_take_only;
    return outcome;
}

QueuedTake take(const std::string& name, std::int64_t ended_ms_ago = 1000) {
    QueuedTake take;
    take.file_name = name;
    take.end_ms = 1796810600000 - ended_ms_ago;
    take.start_ms = take.end_ms - 2000;
    take.frames = 44100;
    return take;
}

TargetSettings rdio_scanner() {
    TargetSettings target;
    target.kind = TargetKind::kRdioScanner;
    target.max_age = milliseconds(7LL * 86400 * 1000);
    return target;
}

class TargetQueueTest : public ::testing::Test {
  protected:
    TargetQueueTest() { queue.start(journal.replay()); }

    // Tries whatever is due now, as the target's thread does when it wakes.
    void run_due() {
        while (queue.due() && *queue.due() <= clock.now) {
            queue.try_oldest(sender);
        }
    }
    // The wait the queue set after a try.
    long long wait() const { return queue.due() ? (*queue.due() - clock.now).count() : -1; }

    testing::TempFolder folder;
    TargetSettings target = rdio_scanner();
    UploadJournal journal{folder.file("rdio-scanner.queue")};
    FakeSender sender;
    FakeRows rows;
    FakeUploadClock clock;
    double chance = 0.5;
    TargetQueue queue{target, journal, rows, clock, [this] { return chance; }};
};

TEST_F(TargetQueueTest, FailuresWaitLongerEachTimeFromFiveSecondsToTenMinutesProbingWithTheOldest) {
    queue.add(take("a.wav"), "5");
    queue.add(take("b.wav"), "5");
    const long long expected[] = {5000, 10000, 20000, 40000, 80000, 160000, 320000, 600000, 600000};
    for (const long long wait_ms : expected) {
        sender.outcomes = {failing("connection refused")};
        run_due();
        EXPECT_EQ(wait(), wait_ms);
        clock.now += milliseconds(wait());
    }
    // A fifth either way, never past the longest.
    chance = 0;
    sender.outcomes = {failing("connection refused")};
    run_due();
    EXPECT_EQ(wait(), 480000);
    clock.now += milliseconds(wait());
    chance = 1;
    sender.outcomes = {failing("connection refused")};
    run_due();
    EXPECT_EQ(wait(), 600000);
    EXPECT_EQ(std::count(sender.tried.begin(), sender.tried.end(), "b.wav"), 0)
        << "only the oldest probes a failing target";
    EXPECT_EQ(queue.view().health, TargetView::Health::kFailing);
    EXPECT_EQ(queue.view().reason, "connection refused");
    clock.now += milliseconds(wait());
    run_due();
    EXPECT_EQ(rows.rows, (std::vector<std::string>{"a.wav delivered 12", "b.wav delivered 1"}));
    EXPECT_EQ(queue.view().health, TargetView::Health::kWell);
    EXPECT_EQ(queue.due(), std::nullopt) << "nothing waits: nothing to wake for";
}

TEST_F(TargetQueueTest, AServiceThatAsksForAWaitGetsIt) {
    queue.add(take("a.wav"), "5");
    sender.outcomes = {failing("HTTP 503", milliseconds(120000))};
    run_due();
    EXPECT_EQ(wait(), 120000);
}

TEST_F(TargetQueueTest, ARefusalEveryTakeWouldMeetStopsTheTargetUntilItIsResumed) {
    queue.add(take("a.wav"), "5");
    // Before any take was delivered with it, a key refused is a bad key.
    sender.outcomes = {refusal(Kind::kTargetRefused, "Invalid-API-Key", true)};
    run_due();
    queue.add(take("b.wav"), "5");
    EXPECT_EQ(queue.due(), std::nullopt) << "stopped: not even woken";
    EXPECT_EQ(queue.view().health, TargetView::Health::kStopped);
    EXPECT_EQ(rows.rows, std::vector<std::string>{"a.wav target stopped: Invalid-API-Key 1"});
    queue.resume();
    run_due();
    EXPECT_EQ(sender.tried, (std::vector<std::string>{"a.wav", "a.wav", "b.wav"}));
    EXPECT_EQ(rows.rows.back(), "b.wav delivered 1");
}

TEST_F(TargetQueueTest, AKeyRefusedAfterItDeliveredIsRefusedForThatTakeOnly) {
    queue.add(take("a.wav"), "5");
    queue.add(take("b.wav"), "6");
    queue.add(take("c.wav"), "5");
    sender.outcomes = {outcome_of(Kind::kDelivered),
                       refusal(Kind::kTargetRefused, "Invalid API key for talkgroup 6", true)};
    run_due();
    EXPECT_EQ(rows.rows,
              (std::vector<std::string>{"a.wav delivered 1",
                                        "b.wav refused: Invalid API key for talkgroup 6 1",
                                        "c.wav delivered 1"}));
}

TEST_F(TargetQueueTest, TakesPastTheAgeLimitAreTooLateUnsent) {
    target.max_age = milliseconds(30000);
    TargetQueue broadcastify{target, journal, rows, clock, [] { return 0.5; }};
    broadcastify.add(take("old.wav", 31000), "5");
    broadcastify.add(take("new.wav", 1000), "5");
    broadcastify.try_oldest(sender);
    EXPECT_EQ(sender.tried, std::vector<std::string>{"new.wav"});
    EXPECT_EQ(rows.rows, (std::vector<std::string>{"old.wav too late: older than 30 s 0",
                                                   "new.wav delivered 1"}));
}

TEST_F(TargetQueueTest, ATakeWithoutANumberIsNotQueuedAndARemovedOneLeavesTheQueue) {
    queue.add(take("none.wav"), "");
    queue.add(take("a.wav"), "5");
    queue.add(take("a.wav"), "5");
    queue.remove(take("a.wav").key());
    EXPECT_EQ(queue.due(), std::nullopt);
    EXPECT_EQ(rows.rows, (std::vector<std::string>{
                             "none.wav not queued: no talkgroup number (give its text one under "
                             "[talkgroups] in uploads.ini) 0",
                             "a.wav removed before upload 0"}));
}

TEST_F(TargetQueueTest, AStartAfterACrashCarriesOnWhereTheJournalStopped) {
    queue.add(take("a.wav"), "5");
    queue.add(take("b.wav"), "5");
    sender.outcomes = {failing("connection refused"),
                       outcome_of(Kind::kPassing, "https://sound.example/1")};
    run_due();
    clock.now += milliseconds(wait());
    run_due();
    // Killed here: a new queue on the same journal.
    FakeSender after;
    TargetQueue again{target, journal, rows, clock, [] { return 0.5; }};
    again.start(journal.replay());
    EXPECT_EQ(again.waiting().front().tries, 2);
    EXPECT_EQ(again.waiting().front().sound_url, "https://sound.example/1");
    again.add(take("a.wav"), "5");
    while (again.due()) {
        again.try_oldest(after);
    }
    EXPECT_EQ(after.tried, (std::vector<std::string>{"a.wav", "b.wav"}))
        << "each once, oldest first";
}

}  // namespace
}  // namespace taperly
