#include "link/serial_scanner_port.h"

#include <QSignalBlocker>
#include <algorithm>
#include <climits>
#include <cstddef>
#include <exception>
#include <memory>

#include "link/link_error.h"
#include "link/make_scanner_port.h"
#include "link/port_devices.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace taperly {

namespace {

// Enough to take in everything a line can deliver between two polls without
// letting a device that never stops talking hold the caller.
constexpr int kMostReadsPerCall = 64;

std::string lower_first(std::string text) {
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') {
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    }
    return text;
}

// A line that has handed over nothing for this long is read byte by byte
// until a carriage return comes again.
constexpr auto kQuietBeforeByteReading = std::chrono::seconds(1);

// The system reads as many of the settings as its own termios holds, and
// here they begin the C library's: flags, line discipline, then the special
// characters, indexed alike.
static_assert(offsetof(termios, c_line) == 4 * sizeof(tcflag_t) &&
                  offsetof(termios, c_cc) == offsetof(termios, c_line) + 1 && NCCS >= 19,
              "the C library's termios must begin as the system's does");

// Gives the line's discipline `settings`; `applied` keeps them once taken.
// Asked directly: the C library's call reads the settings before and after
// its change, three system calls where one does, and the line's end is
// switched twice a poll cycle.
bool apply_settings(QSerialPort& serial, const termios& settings, termios& applied) {
    if (::ioctl(static_cast<int>(serial.handle()), TCSETS, &settings) != 0) {
        return false;
    }
    applied = settings;
    return true;
}

// At 9600 bit/s a status reply takes 120 ms to arrive, and the system would
// wake the program for every few bytes of it, hundreds of times a second while
// idle. The system's line discipline can gather the bytes up to each carriage
// return and wake it once per reply; every character it would otherwise treat
// as editing or as a signal is switched off, so the bytes arrive unchanged.
// Gathered bytes that never see a carriage return (a scanner at another speed
// sends such bytes) would never be handed over at all, so a quiet line is
// read byte by byte instead (`whole` false) until a reply ends again.
// Should the system refuse, the line works as before, only with more wake-ups.
bool gather_replies(QSerialPort& serial, bool whole, termios& applied) {
    const int descriptor = static_cast<int>(serial.handle());
    termios settings{};
    if (::tcgetattr(descriptor, &settings) != 0) {
        return false;
    }
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN);
    settings.c_iflag &=
        ~static_cast<tcflag_t>(ICRNL | IGNCR | INLCR | IUCLC | IXON | IXOFF | ISTRIP | IUTF8);
    for (cc_t& special : settings.c_cc) {
        special = _POSIX_VDISABLE;
    }
    if (whole) {
        settings.c_lflag |= ICANON;
        settings.c_cc[VEOL] = '\r';
    } else {
        settings.c_lflag &= ~static_cast<tcflag_t>(ICANON);
        settings.c_cc[VMIN] = 1;
        settings.c_cc[VTIME] = 0;
    }
    return apply_settings(serial, settings, applied);
}

// While gathering, a reply ends the line the system hands over at its
// carriage return; without that, its bytes wait on the line, and the system
// sees them as the start of the next reply, handed over when that one ends.
// `applied` holds the line's settings, kept from the last change: asked for
// again, the system would take a call more each time.
bool end_replies_at_return(QSerialPort& serial, bool end, termios& applied) {
    termios settings = applied;
    settings.c_cc[VEOL] = end ? '\r' : _POSIX_VDISABLE;
    return apply_settings(serial, settings, applied);
}

// A command is a few bytes, which the system takes at once. Queued in
// QSerialPort instead, each one switches a write notification on and off
// again, and each change to what the event loop watches wakes it once more:
// three turns of the loop for every poll. Whatever the system does not take
// here (or an error, which QSerialPort then meets and reports) goes the
// queued way. Returns how many bytes the system took.
std::size_t write_directly(QSerialPort& serial, std::string_view bytes) {
    if (serial.bytesToWrite() != 0) {
        return 0;
    }
    const ssize_t written = ::write(static_cast<int>(serial.handle()), bytes.data(), bytes.size());
    return written > 0 ? static_cast<std::size_t>(written) : 0;
}

// Asked before QSerialPort is asked to fetch: its fetch polls the line and,
// finding nothing, as it does at most polls, records a time-out with its
// translated text. A line that cannot say lets QSerialPort find out.
bool system_holds_input(const QSerialPort& serial) {
    int count = 0;
    return ::ioctl(static_cast<int>(serial.handle()), FIONREAD, &count) != 0 || count > 0;
}

bool means_lost_line(QSerialPort::SerialPortError error) {
    return error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
           error == QSerialPort::WriteError;
}

}  // namespace

SerialScannerPort::SerialScannerPort(std::function<void(const std::string& reason)> on_link_lost,
                                     QObject* parent)
    : QObject(parent), on_link_lost_(std::move(on_link_lost)) {
    connect(&serial_, &QSerialPort::errorOccurred, this, &SerialScannerPort::on_serial_error);
    connect(&serial_, &QSerialPort::readyRead, this, [this] {
        if (on_input_ && !fetching_) {
            // The event loop has just taken in what the system held: asking
            // the system again while this arrival is handled would find
            // nothing, at a system call or two a reply.
            fetched_ = true;
            const std::unique_ptr<bool, void (*)(bool*)> done(&fetched_,
                                                              [](bool* flag) { *flag = false; });
            on_input_();
        }
    });
}

SerialScannerPort::~SerialScannerPort() {
    // The receiver of a loss may be gone already; a port going away has
    // nothing to report.
    close_quietly();
}

void SerialScannerPort::on_input(std::function<void()> arrived) {
    on_input_ = std::move(arrived);
}

void SerialScannerPort::open(int port_number, int bits_per_second) {
    close();
    port_number_ = port_number;
    device_ = serial_device_for_port(port_number);
    if (device_.empty()) {
        throw LinkError("There is no COM port " + std::to_string(port_number) +
                        ": choose a port from 1 to 10.");
    }
    if (bits_per_second < 1) {
        throw LinkError("Cannot open " + line_name() + ": " + std::to_string(bits_per_second) +
                        " bit/s is not a speed a serial line can run at.");
    }
    serial_.setPortName(QString::fromStdString(device_));
    if (!serial_.open(QIODevice::ReadWrite)) {
        const std::string reason = open_failure_reason();
        serial_.close();
        throw LinkError("Cannot open " + line_name() + ": " + reason,
                        "COM" + std::to_string(port_number) + ": " + reason);
    }
    try {
        configure_line(bits_per_second);
    } catch (...) {
        serial_.close();
        throw;
    }
    gathering_ = gather_replies(serial_, true, line_settings_);
    can_gather_ = gathering_;
    waking_ = true;
    last_delivery_ = std::chrono::steady_clock::now();
}

void SerialScannerPort::configure_line(int bits_per_second) {
    if (!serial_.setBaudRate(bits_per_second)) {
        throw LinkError("Cannot open " + line_name() + ": the line refuses " +
                        std::to_string(bits_per_second) + " bit/s (" +
                        lower_first(serial_.errorString().toStdString()) +
                        "); choose another speed.");
    }
    const bool settled = serial_.setDataBits(QSerialPort::Data8) &&
                         serial_.setParity(QSerialPort::NoParity) &&
                         serial_.setStopBits(QSerialPort::OneStop) &&
                         serial_.setFlowControl(QSerialPort::NoFlowControl);
    if (!settled) {
        throw LinkError("Cannot open " + line_name() +
                        ": the line refuses 8 data bits, no parity, one stop bit (" +
                        lower_first(serial_.errorString().toStdString()) + ").");
    }
}

std::string SerialScannerPort::open_failure_reason() const {
    switch (serial_.error()) {
        case QSerialPort::DeviceNotFoundError:
            return "no such device";
        case QSerialPort::PermissionError:
            // The system says "busy" and "not allowed" with the same error;
            // only a device we may use tells that another program holds it.
            if (::access(device_.c_str(), R_OK | W_OK) != 0) {
                return "permission denied \u2014 add your user to the dialout group and log in "
                       "again";
            }
            return "in use by another program";
        case QSerialPort::UnsupportedOperationError:
            return "this is not a serial device (" +
                   lower_first(serial_.errorString().toStdString()) + ")";
        default:
            return lower_first(serial_.errorString().toStdString());
    }
}

void SerialScannerPort::close() {
    close_quietly();
}

void SerialScannerPort::close_quietly() {
    if (!serial_.isOpen()) {
        return;
    }
    // A device that is gone refuses its old settings back as it is closed;
    // that is no loss of its own, and must not close the port again from
    // inside its own closing.
    const QSignalBlocker quiet(serial_);
    serial_.close();
}

bool SerialScannerPort::is_open() const {
    return serial_.isOpen();
}

void SerialScannerPort::write(std::string_view bytes) {
    require_open("send to");
    bytes.remove_prefix(write_directly(serial_, bytes));
    if (bytes.empty()) {
        return;
    }
    const qint64 queued = serial_.write(bytes.data(), static_cast<qint64>(bytes.size()));
    if (queued != static_cast<qint64>(bytes.size())) {
        throw LinkError("Cannot send to " + line_name() + ": " +
                        lower_first(serial_.errorString().toStdString()));
    }
}

int SerialScannerPort::pending_input_count() {
    require_open("read from");
    take_in_arrived_bytes();
    require_open("read from");
    const qint64 waiting = serial_.bytesAvailable();
    if (waiting == 0 && gathering_ &&
        std::chrono::steady_clock::now() - last_delivery_ > kQuietBeforeByteReading) {
        gathering_ = !gather_replies(serial_, false, line_settings_);
        if (!gathering_) {
            take_in_arrived_bytes();
            return static_cast<int>(std::min<qint64>(serial_.bytesAvailable(), INT_MAX));
        }
    }
    return waiting > INT_MAX ? INT_MAX : static_cast<int>(waiting);
}

std::string SerialScannerPort::read_pending_input() {
    require_open("read from");
    take_in_arrived_bytes();
    require_open("read from");
    const QByteArray bytes = serial_.readAll();
    if (!bytes.isEmpty()) {
        last_delivery_ = std::chrono::steady_clock::now();
        if (can_gather_ && !gathering_ && bytes.contains('\r')) {
            gathering_ = gather_replies(serial_, true, line_settings_);
            waking_ = true;
        }
    }
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void SerialScannerPort::wake_at_reply_end(bool wake) {
    // Read byte by byte, a line hands over whatever arrives: nothing to hold.
    if (wake == waking_ || !gathering_ || !serial_.isOpen()) {
        return;
    }
    if (end_replies_at_return(serial_, wake, line_settings_)) {
        waking_ = wake;
        // Held replies were not the line falling quiet: its quiet counts
        // from when they may be handed over again.
        last_delivery_ = std::chrono::steady_clock::now();
    }
}

void SerialScannerPort::take_in_arrived_bytes() {
    // QSerialPort fetches from the system only while the event loop runs;
    // asking without waiting makes bytes that have already arrived count now.
    if (fetched_) {
        return;
    }
    fetching_ = true;
    for (int read = 0; read < kMostReadsPerCall; ++read) {
        if (!serial_.isOpen() || !system_holds_input(serial_) || !serial_.waitForReadyRead(0)) {
            break;
        }
    }
    fetching_ = false;
}

void SerialScannerPort::require_open(const char* doing) const {
    if (!serial_.isOpen()) {
        const std::string port =
            port_number_ > 0 ? "COM" + std::to_string(port_number_) : "the port";
        throw LinkError(std::string("Cannot ") + doing + " " + port +
                        ": the port is not open; open it first.");
    }
}

void SerialScannerPort::on_serial_error(QSerialPort::SerialPortError error) {
    if (!means_lost_line(error) || !serial_.isOpen()) {
        return;
    }
    // The system's own text is left out: after a hang-up QSerialPort
    // reports whatever error came before it, which misleads.
    const char* what = error == QSerialPort::ResourceError ? "the device went away"
                       : error == QSerialPort::ReadError   ? "reading from it failed"
                                                           : "writing to it failed";
    const std::string reason = "The serial line on " + line_name() + " was lost: " + what + ".";
    // Closed at once, so that the event loop does not take the same error
    // again and again, and the loss is reported once.
    close_quietly();
    report_lost_line(reason);
}

void SerialScannerPort::report_lost_line(const std::string& reason) {
    if (!on_link_lost_) {
        return;
    }
    // The report comes from inside QSerialPort's own notification: nothing
    // may be thrown through it.
    try {
        on_link_lost_(reason);
    } catch (const std::exception& error) {
        qCritical("The lost serial line could not be reported: %s", error.what());
    } catch (...) {
        qCritical("The lost serial line could not be reported.");
    }
}

std::string SerialScannerPort::line_name() const {
    return "COM" + std::to_string(port_number_) + " (" + device_ + ")";
}

std::unique_ptr<ScannerPort> make_scanner_port(
    std::function<void(const std::string& reason)> on_link_lost) {
    return std::make_unique<SerialScannerPort>(std::move(on_link_lost));
}

}  // namespace taperly
