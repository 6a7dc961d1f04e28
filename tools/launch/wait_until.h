#pragma once

#include <chrono>
#include <thread>

namespace taperly::launch {

// Checks `condition` until it holds or `limit` has passed, calling `between`
// in between (by default a short nap; Qt callers pass a turn of the event
// loop). Whatever is waited for is looked at once more at the deadline.
template <typename Condition, typename Between>
bool wait_until(Condition condition, std::chrono::milliseconds limit, Between between) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return condition();
        }
        between();
    }
    return true;
}

template <typename Condition>
bool wait_until(Condition condition, std::chrono::milliseconds limit) {
    return wait_until(condition, limit,
                      [] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); });
}

}  // namespace taperly::launch
