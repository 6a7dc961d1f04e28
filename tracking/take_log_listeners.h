#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "tracking/take_log.h"

namespace taperly {

// The one door through which other rooms (finding takes, uploading them)
// hear of takes: every row goes to the takes log first, and then, once it
// is written, to each listener, on the thread that added it. A listener
// must be quick and safe on any thread (it hands the row on to its own
// thread) and must not add rows itself.
class TakeLogListeners : public TakeLog {
  public:
    using Listener = std::function<void(const TakeLogEntry&)>;

    explicit TakeLogListeners(std::unique_ptr<TakeLog> log) : log_(std::move(log)) {}
    void add(const TakeLogEntry& entry) override;

    // Until the returned handle is reset: no row reaches a listener that
    // is gone, nor one that is being removed.
    [[nodiscard]] std::shared_ptr<void> listen(Listener listener);

  private:
    struct Shared {
        std::mutex mutex;
        std::vector<std::pair<int, Listener>> listeners;
        int next_id = 0;
    };

    std::unique_ptr<TakeLog> log_;
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};

}  // namespace taperly
