#include "tracking/take_log_listeners.h"

#include <algorithm>

namespace taperly {

void TakeLogListeners::add(const TakeLogEntry& entry) {
    log_->add(entry);
    // Held while the listeners run, so that a listener is never removed in
    // the middle of one.
    const std::lock_guard lock(shared_->mutex);
    for (const auto& [id, listener] : shared_->listeners) {
        listener(entry);
    }
}

std::shared_ptr<void> TakeLogListeners::listen(Listener listener) {
    const std::lock_guard lock(shared_->mutex);
    const int id = shared_->next_id++;
    shared_->listeners.emplace_back(id, std::move(listener));
    return std::shared_ptr<void>(nullptr, [shared = shared_, id](void*) {
        const std::lock_guard lock(shared->mutex);
        std::erase_if(shared->listeners, [id](const auto& item) { return item.first == id; });
    });
}

}  // namespace taperly
