#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>

#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "keeping/takes_keeping.h"
#include "tracking/clock.h"
#include "tracking/take_log.h"

namespace taperly {

// The two clocks keeping reads, from its own thread: the desktop's wall
// clock, which dates rows, and a steady one, which counts real time.
struct KeepingClock {
    std::function<LocalTime()> wall;
    std::function<SteadyTime()> steady;
};

// Keeps takes for a number of days only (TakesKeeping): a pass at once and
// then every hour, on a thread of its own, so that reading a long log never
// holds up the window. `clock` and `log` are used from that thread;
// destroying the keeper ends a pass under way and stops it.
class TakeKeeper {
  public:
    // `stars`: the takes never removed, read at every pass; none for none.
    // The takes `held` says must stay are kept (none: none is held).
    TakeKeeper(std::string folder, int days, KeepingClock clock, TakeLog& log,
               std::shared_ptr<const TakeStars> stars = nullptr, const TakesToKeep* held = nullptr);
    ~TakeKeeper();
    TakeKeeper(const TakeKeeper&) = delete;
    TakeKeeper& operator=(const TakeKeeper&) = delete;

    // Why keeping does not work now, from the last pass; empty while it
    // does. Safe to ask from any thread.
    std::string trouble() const;

  private:
    void work();

    std::shared_ptr<const TakeStars> stars_;
    TakesKeeping keeping_;
    KeepingClock clock_;
    mutable std::mutex mutex_;
    std::condition_variable woken_;
    std::atomic<bool> ending_ = false;
    std::string trouble_;
    std::thread worker_;
};

// TAPERLY_KEEP_DAYS as it was asked: days from 1 to 3650, or none when it
// is not set or empty; a value that is no such number is refused, and
// `refused` says so.
struct KeepDays {
    std::optional<int> days;
    std::string refused;
};
KeepDays keep_days_asked(const char* setting);

}  // namespace taperly
