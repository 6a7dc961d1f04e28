#include "tools/simulator/pseudo_terminal.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <system_error>
#include <vector>

namespace taperly::sim {

namespace {

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

PseudoTerminal::PseudoTerminal() {
    open_new();
}

void PseudoTerminal::open_new() {
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

void PseudoTerminal::open_elsewhere() {
    const std::string old_path = slave_path_;
    close();
    // The system hands out the lowest free number, which is most likely the
    // one just given back: hold that one while a new one is taken.
    std::vector<std::unique_ptr<PseudoTerminal>> held;
    for (;;) {
        auto line = std::make_unique<PseudoTerminal>();
        if (line->slave_path_ != old_path) {
            std::swap(master_, line->master_);
            std::swap(slave_, line->slave_);
            std::swap(slave_path_, line->slave_path_);
            return;
        }
        held.push_back(std::move(line));
    }
}

int PseudoTerminal::line_speed() const {
    termios settings{};
    if (slave_ < 0 || ::tcgetattr(slave_, &settings) != 0) {
        return 0;
    }
    switch (::cfgetospeed(&settings)) {
        case B1200:
            return 1200;
        case B2400:
            return 2400;
        case B4800:
            return 4800;
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        default:
            return 0;
    }
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
