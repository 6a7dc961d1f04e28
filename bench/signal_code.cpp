#include "bench/signal_code.h"

namespace taperly::bench {

namespace {

constexpr int kBits = 14;
constexpr std::int64_t kMask = (1 << kBits) - 1;
constexpr int kFloor = 8192;
constexpr std::int64_t kPeriod = std::int64_t{2} << (2 * kBits);

}  // namespace

std::int16_t signal_sample(std::int64_t n) {
    const std::int64_t pair = (n % kPeriod) / 2;
    if (n % 2 == 0) {
        return static_cast<std::int16_t>(kFloor + (pair & kMask));
    }
    return static_cast<std::int16_t>(-(kFloor + ((pair >> kBits) & kMask)));
}

std::optional<std::int64_t> sample_number_at(std::span<const std::int16_t> frames, std::size_t at) {
    if (at >= frames.size()) {
        return std::nullopt;
    }
    // The even sample of the pair `at` belongs to.
    const bool even = frames[at] > 0;
    const std::size_t first = even ? at : at - 1;
    if ((!even && at == 0) || first + 1 >= frames.size()) {
        return std::nullopt;
    }
    const int low = frames[first] - kFloor;
    const int high = -frames[first + 1] - kFloor;
    if (low < 0 || low > kMask || high < 0 || high > kMask) {
        return std::nullopt;
    }
    const std::int64_t n = 2 * ((std::int64_t{high} << kBits) | low);
    // Both samples must be exactly what the feed wrote for that number.
    if (signal_sample(n) != frames[first] || signal_sample(n + 1) != frames[first + 1]) {
        return std::nullopt;
    }
    return even ? n : n + 1;
}

}  // namespace taperly::bench
