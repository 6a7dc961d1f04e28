#pragma once

#include <stdexcept>

namespace taperly {

// A serial port that cannot be opened, written or read. It ends the handler
// it happens in; the window shows its text to the user.
class LinkError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace taperly
