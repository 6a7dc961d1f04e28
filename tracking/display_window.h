#pragma once

#include <string>

namespace taperly {

// The parts of the main window that follow the scanner's display. Texts are
// as received from the scanner, one byte to one character (Latin-1).
class DisplayWindow {
  public:
    virtual ~DisplayWindow() = default;
    virtual void set_mirror_text(const std::string& text) = 0;
    virtual bool is_minimised() const = 0;
    virtual void set_title(const std::string& title) = 0;
};

}  // namespace taperly
