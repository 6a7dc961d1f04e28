#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "tracking/clock.h"
#include "tracking/take_log.h"

namespace taperly {

// Keeps takes for a number of days only: removes those past keeping (see
// remove_old_takes) at once and then every hour, on a thread of its own, so
// that reading a long log never holds up the window. `now` and `log` are
// used from that thread; destroying it stops it.
class TakeKeeper {
  public:
    TakeKeeper(std::string folder, int days, std::function<LocalTime()> now, TakeLog& log);
    ~TakeKeeper();
    TakeKeeper(const TakeKeeper&) = delete;
    TakeKeeper& operator=(const TakeKeeper&) = delete;

  private:
    void work();

    std::string folder_;
    int days_;
    std::function<LocalTime()> now_;
    TakeLog& log_;
    std::mutex mutex_;
    std::condition_variable woken_;
    bool ending_ = false;
    std::thread worker_;
};

}  // namespace taperly
