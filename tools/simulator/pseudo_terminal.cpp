#include "tools/simulator/pseudo_terminal.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace taperly::sim {

namespace {

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

PseudoTerminal::PseudoTerminal() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        fail("openpty");
    }
    slave_path_ = name;
    try {
        termios settings{};
        if (::tcgetattr(slave_, &settings) != 0) {
            fail("tcgetattr");
        }
        // No echo, no line editing, no carriage return translation: every
        // byte passes as it is, as on a serial line.
        ::cfmakeraw(&settings);
        if (::tcsetattr(slave_, TCSANOW, &settings) != 0) {
            fail("tcsetattr");
        }
        const int flags = ::fcntl(master_, F_GETFL);
        if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) {
            fail("fcntl");
        }
        ::fcntl(master_, F_SETFD, FD_CLOEXEC);
        ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    } catch (...) {
        close();
        throw;
    }
}

PseudoTerminal::~PseudoTerminal() {
    close();
}

std::size_t PseudoTerminal::unread() const {
    int waiting = 0;
    if (slave_ < 0 || ::ioctl(slave_, FIONREAD, &waiting) != 0 || waiting < 0) {
        return 0;
    }
    return static_cast<std::size_t>(waiting);
}

void PseudoTerminal::close() {
    if (slave_ >= 0) {
        ::close(slave_);
        slave_ = -1;
    }
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

}  // namespace taperly::sim
