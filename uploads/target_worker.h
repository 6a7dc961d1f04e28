#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tracking/take_log.h"
#include "uploads/call_parts.h"
#include "uploads/http_exchange.h"
#include "uploads/target_queue.h"
#include "uploads/upload_journal.h"

namespace taperly {

// What a target's thread makes its parts from, and the shared rest.
struct WorkerParts {
    // Made on the target's own thread, which uses them alone.
    std::function<std::unique_ptr<HttpClient>()> make_http;
    std::function<std::unique_ptr<SoundEncoder>()> make_encoder;
    std::function<std::unique_ptr<CommandRunner>()> make_runner;
    std::shared_ptr<UploadClock> clock;
    std::function<double()> chance;
};

// One target's queue on a thread of its own, which sleeps until a take
// comes, a try is due or one has ended: while nothing waits, it never wakes.
// Tries are sent from a second thread, so that a take stored while one
// hangs is in the journal at once. Destroying it ends a try under way and
// waits for both.
class TargetWorker {
  public:
    // `untaken`: rows the target's last worker had not taken in yet.
    TargetWorker(TargetSettings target, std::map<std::string, std::string> talkgroups,
                 std::string takes_folder, std::string work_folder, const WorkerParts& parts,
                 UploadRows& rows, std::vector<TakeLogEntry> untaken = {});
    ~TargetWorker() { stop(); }
    TargetWorker(const TargetWorker&) = delete;
    TargetWorker& operator=(const TargetWorker&) = delete;

    // A row of the takes log: quick, from any thread.
    void heard(const TakeLogEntry& entry);
    // Ends a try under way and the thread; the rows it had not taken in yet,
    // for the target's next worker.
    std::vector<TakeLogEntry> stop();
    // uploads.ini was read again and names this target as before.
    void resume(std::map<std::string, std::string> talkgroups);

    const TargetSettings& target() const { return target_; }
    TargetView view() const;

  private:
    void work();
    // The second thread: sends each take it is handed.
    void send();
    void start_queue(TargetQueue& queue);
    void take_in(TargetQueue& queue, std::vector<TakeLogEntry>& rows);
    void publish(const TargetQueue& queue);

    TargetSettings target_;
    std::string takes_folder_;
    std::string work_folder_;
    WorkerParts parts_;
    UploadRows& rows_;

    mutable std::mutex mutex_;
    std::condition_variable woken_;
    std::vector<TakeLogEntry> inbox_;
    std::map<std::string, std::string> talkgroups_;
    bool resume_asked_ = false;
    bool ending_ = false;
    std::atomic<bool> cancelled_{false};
    TargetView view_;
    // The take handed to the sender, and what its try came to.
    std::optional<JournalEntry> to_send_;
    std::optional<TryOutcome> sent_;
    std::condition_variable send_woken_;
    // Written from both threads.
    UploadJournal journal_;
    std::thread thread_;
    std::thread sender_;
};

}  // namespace taperly
