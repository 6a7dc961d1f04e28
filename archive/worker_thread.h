#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace taperly {

// One thread that runs jobs in turn, and background work in steps between
// them: a search asked while the index is being built is answered after the
// step under way, not after the whole build. It runs below the program's
// other threads.

class WorkerThread {
  public:
    WorkerThread();
    // Waits for the job or step under way; the rest is dropped.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Runs `job` after the jobs asked before it.
    void run(std::function<void()> job);
    // Calls `step` whenever no job waits, until it returns false; several
    // such works take their turns in the order asked.
    void run_in_background(std::function<bool()> step);
    // Whether the caller is this worker's thread.
    bool is_current() const { return std::this_thread::get_id() == thread_.get_id(); }

  private:
    void work();

    std::mutex mutex_;
    std::condition_variable woken_;
    std::deque<std::function<void()>> jobs_;
    std::deque<std::function<bool()>> background_;
    bool ending_ = false;
    std::thread thread_;
};

}  // namespace taperly
