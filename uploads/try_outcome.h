#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace taperly {

// What one try of one take at one target came to.
struct TryOutcome {
    enum class Kind {
        // The service has the take now.
        kDelivered,
        // It had it already (a try whose answer was lost got there).
        kAlreadyThere,
        // Worth trying again later: the service or the way to it fails now.
        kPassing,
        // The service will never take this take.
        kRefused,
        // The take came too late for the service.
        kTooLate,
        // Every take would meet this refusal (a bad key): the target stops
        // until uploads.ini changes.
        kTargetRefused,
        // Taperly is closing; the take is tried again at the next start.
        kCancelled,
    };
    Kind kind = Kind::kPassing;
    // The HTTP status, 0 when there was none.
    int http_status = 0;
    // What the service answered, cut to a line.
    std::string answer;
    // In words, for the window: "connection refused", "Invalid-API-Key".
    std::string reason;
    // How long the service asked to be left alone.
    std::optional<std::chrono::milliseconds> retry_after;
    // A key refused after takes were delivered with it is refused for this
    // take's talkgroup only (a key may be good for some talkgroups).
    bool may_be_this_take_only = false;
};

}  // namespace taperly
