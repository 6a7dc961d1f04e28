#include "keeping/take_keeper.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace taperly {

TakeKeeper::TakeKeeper(std::string folder, int days, KeepingClock clock, TakeLog& log,
                       std::shared_ptr<const TakeStars> stars, const TakesToKeep* held)
    : stars_(std::move(stars)),
      keeping_(std::move(folder), days, log, std::nullopt, 10000, stars_.get()),
      clock_(std::move(clock)) {
    keeping_.keep_also(held);
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

std::string TakeKeeper::trouble() const {
    const std::lock_guard lock(mutex_);
    return trouble_;
}

void TakeKeeper::work() {
    // Once at start, even when Taperly ends at once, and then every hour.
    for (;;) {
        std::string trouble;
        // A failure here must not end the program: the takes stay, the
        // window says so, and the next hour tries again.
        try {
            trouble = keeping_.pass(clock_.wall(), clock_.steady(), ending_).trouble;
        } catch (const std::exception& failure) {
            trouble = failure.what();
        }
        if (!trouble.empty()) {
            std::fprintf(stderr, "Taperly: no old take is removed: %s\n", trouble.c_str());
        }
        std::unique_lock lock(mutex_);
        trouble_ = std::move(trouble);
        if (woken_.wait_for(lock, std::chrono::hours(1), [this] { return ending_.load(); })) {
            return;
        }
    }
}

KeepDays keep_days_asked(const char* setting) {
    if (setting == nullptr || *setting == '\0') {
        return {};
    }
    char* end = nullptr;
    errno = 0;
    const long days = std::strtol(setting, &end, 10);
    if (*setting < '0' || *setting > '9' || *end != '\0' || errno != 0 || days < 1 || days > 3650) {
        KeepDays refused;
        refused.refused =
            std::string("TAPERLY_KEEP_DAYS=") + setting + " is not a number of days from 1 to 3650";
        std::fprintf(stderr, "Taperly: %s; every take is kept\n", refused.refused.c_str());
        return refused;
    }
    return {static_cast<int>(days), {}};
}

}  // namespace taperly
