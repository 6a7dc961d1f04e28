#include "tracking/take_keeper.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "tracking/take_retention.h"

namespace taperly {

TakeKeeper::TakeKeeper(std::string folder, int days, std::function<LocalTime()> now, TakeLog& log)
    : folder_(std::move(folder)), days_(days), now_(std::move(now)), log_(log) {
    worker_ = std::thread([this] { work(); });
}

TakeKeeper::~TakeKeeper() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    woken_.notify_all();
    worker_.join();
}

void TakeKeeper::work() {
    // Once at start, even when Taperly ends at once, and then every hour.
    for (;;) {
        // A failure here must not end the program: the takes stay, and the
        // next hour tries again.
        try {
            remove_old_takes(folder_, days_, now_(), log_);
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "Taperly: old takes could not be removed: %s\n", failure.what());
        }
        std::unique_lock lock(mutex_);
        if (woken_.wait_for(lock, std::chrono::hours(1), [this] { return ending_; })) {
            return;
        }
    }
}

}  // namespace taperly
