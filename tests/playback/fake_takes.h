#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "playback/take_sound.h"

namespace taperly::testing {

// Takes at 1000 frames a second, so that a frame is a millisecond, written
// as runs: "q800 A1000 q300" is 800 ms of quiet (hiss below the quiet
// line), a second of take A's sound, 300 ms of quiet. Each letter is a
// level of its own, so that what is heard tells which take it came from.
inline constexpr int kFakeRate = 1000;
inline constexpr std::int16_t kHiss = 50;

inline std::int16_t level_of(char letter) {
    return letter == 'q' ? kHiss : static_cast<std::int16_t>(1000 * (letter - 'A' + 1));
}

inline char letter_of(std::int16_t level) {
    return level == kHiss ? 'q' : static_cast<char>('A' + level / 1000 - 1);
}

class FakeTakeSound : public TakeSound {
  public:
    explicit FakeTakeSound(const std::string& runs) {
        std::istringstream words(runs);
        std::string word;
        while (words >> word) {
            samples_.insert(samples_.end(), std::stoul(word.substr(1)), level_of(word[0]));
        }
    }
    int rate() const override { return kFakeRate; }
    std::int64_t frames() const override { return static_cast<std::int64_t>(samples_.size()); }
    std::size_t read(std::int64_t at, std::span<std::int16_t> into) override {
        const auto from = static_cast<std::size_t>(std::clamp<std::int64_t>(at, 0, frames()));
        const std::size_t count = std::min(into.size(), samples_.size() - from);
        std::copy_n(samples_.begin() + static_cast<std::ptrdiff_t>(from), count, into.begin());
        return count;
    }

  private:
    std::vector<std::int16_t> samples_;
};

// Opens "N.wav" as the runs of the Nth take (from 1); a take written "!"
// cannot be read.
inline OpenTakeSound fake_opener(std::vector<std::string> takes) {
    return [takes = std::move(takes)](const std::string& path,
                                      std::string& problem) -> std::unique_ptr<TakeSound> {
        const std::size_t n = std::stoul(path) - 1;
        if (n >= takes.size() || takes[n] == "!") {
            problem = "it is not sound libsndfile reads";
            return nullptr;
        }
        return std::make_unique<FakeTakeSound>(takes[n]);
    };
}

}  // namespace taperly::testing
