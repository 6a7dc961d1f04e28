#pragma once

#include <memory>

class QSocketNotifier;

namespace taperly {

class Form1;

// The end of the desktop session (SIGTERM, SIGHUP, on Windows its end
// message) and Ctrl-C in the terminal that started Taperly (SIGINT) end
// `window` from outside (Form1::end_from_outside: the take in progress is
// saved as Stop saves it, and none waits for an encoding), close it and end
// the program with status 0. The handler only wakes the event loop; the work is
// done there. One at a time; the signals' own handling comes back when it
// goes.
class QuitSignals {
  public:
    // Called first thing in main, before any thread starts: the signals wait
    // until a QuitSignals is there to handle them, so one that comes during
    // start-up (while unfinished takes are being mended, say) is not lost.
    static void hold();

    explicit QuitSignals(Form1& window);
    ~QuitSignals();
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

  private:
    void arrived();

    Form1& window_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace taperly
