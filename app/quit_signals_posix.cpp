#include <fcntl.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>

#include "app/form1.h"
#include "app/quit_signals.h"

namespace taperly {

namespace {

constexpr std::array<int, 3> kQuitSignals{SIGTERM, SIGINT, SIGHUP};

// The handler's end of the pair, and the event loop's.
int wake_end = -1;
int loop_end = -1;

extern "C" void wake_the_loop(int /*signal*/) {
    const int saved = errno;
    const char byte = 1;
    // A full pair already holds a wake-up: nothing is lost.
    [[maybe_unused]] const ssize_t written = ::write(wake_end, &byte, 1);
    errno = saved;
}

void handle_quit_signals(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kQuitSignals) {
        ::sigaction(signal, &action, nullptr);
    }
}

void set_quit_signals_blocked(bool blocked) {
    sigset_t quit_set;
    sigemptyset(&quit_set);
    for (const int signal : kQuitSignals) {
        sigaddset(&quit_set, signal);
    }
    ::pthread_sigmask(blocked ? SIG_BLOCK : SIG_UNBLOCK, &quit_set, nullptr);
}

}  // namespace

void QuitSignals::hold() {
    set_quit_signals_blocked(true);
}

QuitSignals::QuitSignals(Form1& window) : window_(window) {
    // Whatever came while the window was being made is handled from here on.
    struct Release {
        ~Release() { set_quit_signals_blocked(false); }
    } release;
    std::array<int, 2> ends{-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends.data()) != 0) {
        // Without it the signals end Taperly as they always did.
        return;
    }
    wake_end = ends[0];
    loop_end = ends[1];
    notifier_ = std::make_unique<QSocketNotifier>(loop_end, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { arrived(); });
    handle_quit_signals(wake_the_loop);
}

QuitSignals::~QuitSignals() {
    if (!notifier_) {
        return;
    }
    handle_quit_signals(SIG_DFL);
    notifier_.reset();
    ::close(wake_end);
    ::close(loop_end);
    wake_end = -1;
    loop_end = -1;
}

void QuitSignals::arrived() {
    std::array<char, 16> bytes{};
    while (::read(loop_end, bytes.data(), bytes.size()) > 0) {
    }
    // The session may end the process soon: nothing waits for an encoding.
    window_.end_from_outside();
    window_.close();
    QCoreApplication::exit(0);
}

}  // namespace taperly
