#pragma once

#include <optional>
#include <string>
#include <vector>

namespace taperly {

// The takes the user starred in the Takes window (stars.csv beside the
// takes, archive/star_file.h): keeping never removes one.
class TakeStars {
  public:
    virtual ~TakeStars() = default;
    // The names starred now; none when the stars cannot be read, and then
    // no take is removed.
    virtual std::optional<std::vector<std::string>> starred() const = 0;
};

}  // namespace taperly
