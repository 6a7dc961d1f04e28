#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QWidget>

#include "app/quit_signals.h"

namespace taperly {

// Windows ends a session with window messages, not signals: they wait in the
// queue until the event loop runs, so there is nothing to hold back.
void QuitSignals::hold() {}

// Qt turns the session's end into a request to save the user's work; the
// take in progress is that work, and closing the window saves it. A program
// without a console sees no Ctrl-C.
QuitSignals::QuitSignals(QWidget& window) : window_(window) {
    QObject::connect(qGuiApp, &QGuiApplication::commitDataRequest, &window_,
                     [this](QSessionManager&) { arrived(); });
}

QuitSignals::~QuitSignals() = default;

void QuitSignals::arrived() {
    window_.close();
}

}  // namespace taperly
