#pragma once

namespace taperly {

class Form1;

// The windowing system's plugin ends the process with exit() when the
// display's connection breaks (an X server or Wayland compositor that goes
// away at logout before the quit signal is handled), so the window is never
// closed. While one of these lives, such an end still finishes the take in
// progress and saves it as Stop saves it, and closes the port.
class AbruptEndGuard {
  public:
    explicit AbruptEndGuard(Form1& form);
    ~AbruptEndGuard();
    AbruptEndGuard(const AbruptEndGuard&) = delete;
    AbruptEndGuard& operator=(const AbruptEndGuard&) = delete;
};

}  // namespace taperly
