#include <windows.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QSocketNotifier>

#include "app/form1.h"
#include "app/quit_signals.h"

namespace taperly {

namespace {

// Windows ends the process once WM_ENDSESSION has been answered, so the take
// in progress is saved, and every take still being stored is, before the
// answer.
class SessionEndFilter : public QAbstractNativeEventFilter {
  public:
    Form1* window = nullptr;

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        const MSG* msg = static_cast<const MSG*>(message);
        if (window != nullptr && type == "windows_generic_MSG" && msg->message == WM_ENDSESSION &&
            msg->wParam == TRUE) {
            window->end_from_outside();
            window->close();
        }
        return false;
    }
};

SessionEndFilter session_end;

}  // namespace

// Windows ends a session with window messages, not signals: they wait in the
// queue until the event loop runs, so there is nothing to hold back. A
// program without a console sees no Ctrl-C.
void QuitSignals::hold() {}

QuitSignals::QuitSignals(Form1& window) : window_(window) {
    session_end.window = &window_;
    QCoreApplication::instance()->installNativeEventFilter(&session_end);
}

QuitSignals::~QuitSignals() {
    QCoreApplication::instance()->removeNativeEventFilter(&session_end);
    session_end.window = nullptr;
}

void QuitSignals::arrived() {
    window_.close();
}

}  // namespace taperly
