#pragma once

#include <stdexcept>
#include <string>

namespace taperly {

// A serial port that cannot be opened, written or read. It ends the handler
// it happens in; the window shows its text to the user, or its short form
// when it has one and the whole text does not fit.
class LinkError : public std::runtime_error {
  public:
    explicit LinkError(const std::string& whole, std::string short_text = {})
        : std::runtime_error(whole), short_text_(std::move(short_text)) {}

    // The text itself when no shorter one was given.
    std::string short_text() const { return short_text_.empty() ? what() : short_text_; }

  private:
    std::string short_text_;
};

}  // namespace taperly
