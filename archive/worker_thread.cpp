#include "archive/worker_thread.h"

#include "archive/background_priority.h"

namespace taperly {

WorkerThread::WorkerThread() : thread_([this] { work(); }) {}

WorkerThread::~WorkerThread() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    woken_.notify_all();
    thread_.join();
}

void WorkerThread::run(std::function<void()> job) {
    {
        const std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    woken_.notify_all();
}

void WorkerThread::run_in_background(std::function<bool()> step) {
    {
        const std::lock_guard lock(mutex_);
        background_.push_back(std::move(step));
    }
    woken_.notify_all();
}

void WorkerThread::work() {
    lower_this_threads_priority();
    std::unique_lock lock(mutex_);
    for (;;) {
        woken_.wait(lock, [this] { return ending_ || !jobs_.empty() || !background_.empty(); });
        if (ending_) {
            return;
        }
        if (!jobs_.empty()) {
            std::function<void()> job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
            continue;
        }
        std::function<bool()> step = std::move(background_.front());
        background_.pop_front();
        lock.unlock();
        const bool more = step();
        lock.lock();
        if (more) {
            background_.push_front(std::move(step));
        }
    }
}

}  // namespace taperly
