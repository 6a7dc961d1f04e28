#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace taperly {

// A take's sound as the player reads it: 16-bit mono frames at the file's
// own rate, whatever its channels.
class TakeSound {
  public:
    virtual ~TakeSound() = default;

    virtual int rate() const = 0;
    virtual std::int64_t frames() const = 0;
    // Reads frames from `at` on into `into`; fewer than asked at the end, or
    // where the file cannot be read further.
    virtual std::size_t read(std::int64_t at, std::span<std::int16_t> into) = 0;
};

// Opens the take at a UTF-8 path; null, with the reason in words for the
// user in `problem`, when it cannot be read.
using OpenTakeSound =
    std::function<std::unique_ptr<TakeSound>(const std::string& path, std::string& problem)>;

}  // namespace taperly
