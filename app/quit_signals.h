#pragma once

#include <memory>

class QSocketNotifier;
class QWidget;

namespace taperly {

// The end of the desktop session (SIGTERM, SIGHUP) and Ctrl-C in the
// terminal that started Taperly (SIGINT) close `window` as the user would,
// which finishes a take in progress as Stop does, and end the program with
// status 0. The handler only wakes the event loop; the work is done there.
// One at a time; the signals' own handling comes back when it goes.
class QuitSignals {
  public:
    // Called first thing in main, before any thread starts: the signals wait
    // until a QuitSignals is there to handle them, so one that comes during
    // start-up (while unfinished takes are being mended, say) is not lost.
    static void hold();

    explicit QuitSignals(QWidget& window);
    ~QuitSignals();
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

  private:
    void arrived();

    QWidget& window_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace taperly
