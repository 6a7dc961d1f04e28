#include "link/windows_scanner_port.h"

#include <QTimer>
#include <QWinEventNotifier>
#include <QtGlobal>
#include <algorithm>
#include <climits>
#include <exception>
#include <utility>

#include "link/link_error.h"
#include "link/make_scanner_port.h"
#include "link/port_devices.h"
#include "link/windows_line_texts.h"

namespace taperly {

namespace {

// Enough to take in everything a line can deliver between two polls without
// letting a device that never stops talking hold the caller.
constexpr int kMostReadsPerCall = 64;
// The bytes a read asks for are waiting already; should the system still
// keep it, the caller is not held longer than this.
constexpr DWORD kWaitingBytesReadLimitMs = 50;
// A write the line has not taken in by then will not be: the line is stuck.
constexpr DWORD kWriteLimitMs = 2000;
// What closing leaves the writes still on their way to finish in: a key
// pressed just before Stop still reaches the scanner.
constexpr DWORD kCloseWriteLimitMs = 100;

// How long the rest of a reply is left to gather in the line before it is
// read: about 32 bytes' time. At 9600 bit/s a 115-byte status reply takes
// 120 ms to arrive, and reading each byte as it comes would wake the program
// every millisecond or two; this wakes it a few times a reply, and is short
// beside the reply itself.
int gather_pause_ms(int bits_per_second) {
    const long long pause = (32LL * 10 * 1000 + bits_per_second - 1) / bits_per_second;
    return static_cast<int>(std::clamp(pause, 1LL, 40LL));
}

}  // namespace

WindowsScannerPort::WindowsScannerPort(std::function<void(const std::string& reason)> on_link_lost)
    : on_link_lost_(std::move(on_link_lost)) {}

WindowsScannerPort::~WindowsScannerPort() {
    // The receiver of a loss may be gone already; a port going away has
    // nothing to report.
    close_handles();
    read_notifier_.reset();
    gather_timer_.reset();
    for (HANDLE event : {read_.hEvent, drain_.hEvent}) {
        if (event != nullptr) {
            ::CloseHandle(event);
        }
    }
}

void WindowsScannerPort::on_input(std::function<void()> arrived) {
    on_input_ = std::move(arrived);
}

void WindowsScannerPort::open(int port_number, int bits_per_second) {
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
    // COM10 and above, and every device a link names, are reached only
    // through the device namespace.
    const std::string path = device_.starts_with("\\\\") ? device_ : "\\\\.\\" + device_;
    line_ = ::CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                          OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (line_ == INVALID_HANDLE_VALUE) {
        throw open_failure(open_failure_reason(::GetLastError()));
    }
    try {
        configure_line(bits_per_second);
        if (read_.hEvent == nullptr || drain_.hEvent == nullptr) {
            for (HANDLE* event : {&read_.hEvent, &drain_.hEvent}) {
                if (*event == nullptr) {
                    *event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
                }
            }
            if (read_.hEvent == nullptr || drain_.hEvent == nullptr) {
                throw open_failure("the system has no event left to wait on (" +
                                   system_text(::GetLastError()) + ")");
            }
            read_notifier_ = std::make_unique<QWinEventNotifier>(read_.hEvent);
            QObject::connect(read_notifier_.get(), &QWinEventNotifier::activated,
                             [this] { on_read_signalled(); });
            gather_timer_ = std::make_unique<QTimer>();
            gather_timer_->setSingleShot(true);
            gather_timer_->setTimerType(Qt::PreciseTimer);
            QObject::connect(gather_timer_.get(), &QTimer::timeout, [this] { on_gathered(); });
        }
        gather_timer_->setInterval(gather_pause_ms(bits_per_second));
        last_byte_ = '\r';
        ::ResetEvent(read_.hEvent);
        read_notifier_->setEnabled(true);
        if (!start_byte_read()) {
            throw open_failure(failure("reading from it", ::GetLastError()));
        }
    } catch (...) {
        close_handles();
        throw;
    }
}

void WindowsScannerPort::configure_line(int bits_per_second) {
    DCB settings{};
    settings.DCBlength = sizeof(settings);
    if (!::GetCommState(line_, &settings)) {
        throw open_failure("this is not a serial device (" + system_text(::GetLastError()) + ")");
    }
    settings.fBinary = TRUE;
    settings.fParity = FALSE;
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    settings.fOutxCtsFlow = FALSE;
    settings.fOutxDsrFlow = FALSE;
    settings.fDsrSensitivity = FALSE;
    settings.fOutX = FALSE;
    settings.fInX = FALSE;
    settings.fErrorChar = FALSE;
    settings.fNull = FALSE;
    // Raised, as opening a line raises them on Linux: some scanner cables
    // take their power from these.
    settings.fDtrControl = DTR_CONTROL_ENABLE;
    settings.fRtsControl = RTS_CONTROL_ENABLE;
    // A framing error (a scanner at another speed) must not stop every read
    // until it is cleared.
    settings.fAbortOnError = FALSE;
    // The speed on its own, so that a refusal says which setting it was.
    if (!::SetCommState(line_, &settings)) {
        throw open_failure("the line refuses 8 data bits, no parity, one stop bit (" +
                           system_text(::GetLastError()) + ").");
    }
    settings.BaudRate = static_cast<DWORD>(bits_per_second);
    if (!::SetCommState(line_, &settings)) {
        throw open_failure("the line refuses " + std::to_string(bits_per_second) + " bit/s (" +
                           system_text(::GetLastError()) + "); choose another speed.");
    }
    // A read waits until every byte it asks for has come: the one-byte read
    // for the next byte, the others only for bytes the line counts as there.
    COMMTIMEOUTS timeouts{};
    timeouts.WriteTotalTimeoutConstant = kWriteLimitMs;
    if (!::SetCommTimeouts(line_, &timeouts)) {
        throw open_failure("this is not a serial device (" + system_text(::GetLastError()) + ")");
    }
    // Bytes from before the port was opened belong to nobody's command.
    ::PurgeComm(line_, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
    DWORD errors = 0;
    ::ClearCommError(line_, &errors, nullptr);
}

bool WindowsScannerPort::start_byte_read() {
    DWORD got = 0;
    if (::ReadFile(line_, &read_byte_, 1, &got, &read_) || ::GetLastError() == ERROR_IO_PENDING) {
        // Either way the event is set at completion, and the completion is
        // taken from the OVERLAPPED alone.
        read_pending_ = true;
        return true;
    }
    return false;
}

void WindowsScannerPort::on_read_signalled() {
    if (take_in_arrived_bytes()) {
        report_input();
    }
}

void WindowsScannerPort::on_gathered() {
    if (!is_open()) {
        return;
    }
    const std::size_t before = arrived_.size();
    if (!read_waiting_bytes()) {
        return;
    }
    const bool came = arrived_.size() > before;
    if (wait_for_more(came && last_byte_ != '\r') && came) {
        report_input();
    }
}

void WindowsScannerPort::report_input() {
    if (!on_input_ || !is_open()) {
        return;
    }
    // The event loop called: nothing may be thrown back into it.
    try {
        on_input_();
    } catch (const std::exception& error) {
        qCritical("The bytes that arrived on the serial line could not be handled: %s",
                  error.what());
    } catch (...) {
        qCritical("The bytes that arrived on the serial line could not be handled.");
    }
}

bool WindowsScannerPort::take_in_arrived_bytes() {
    if (!is_open()) {
        return false;
    }
    if (gather_timer_->isActive()) {
        // The caller reads before the pause is over: it gets what has come.
        const std::size_t before = arrived_.size();
        return read_waiting_bytes() && arrived_.size() > before;
    }
    bool arrived = false;
    for (int read = 0; read < kMostReadsPerCall && read_pending_; ++read) {
        if (!HasOverlappedIoCompleted(&read_)) {
            break;
        }
        DWORD got = 0;
        const bool done = ::GetOverlappedResult(line_, &read_, &got, FALSE);
        const DWORD error = done ? ERROR_SUCCESS : ::GetLastError();
        if (error == ERROR_IO_INCOMPLETE) {
            break;
        }
        read_pending_ = false;
        if (!done) {
            lose_line(failure("reading from it", error));
            break;
        }
        if (got == 0) {
            // A read that waits for its byte ends without one only when the
            // line behind it has hung up.
            lose_line("the device went away");
            break;
        }
        arrived_.push_back(read_byte_);
        last_byte_ = read_byte_;
        arrived = true;
        if (!read_waiting_bytes() || !wait_for_more(last_byte_ != '\r')) {
            break;
        }
    }
    return arrived && is_open();
}

bool WindowsScannerPort::wait_for_more(bool mid_reply) {
    if (mid_reply) {
        // The completed read's event would have the event loop call again
        // and again while nothing reads.
        ::ResetEvent(read_.hEvent);
        gather_timer_->start();
        return true;
    }
    if (!start_byte_read()) {
        lose_line(failure("reading from it", ::GetLastError()));
        return false;
    }
    return true;
}

bool WindowsScannerPort::read_waiting_bytes() {
    DWORD errors = 0;
    COMSTAT status{};
    // Line errors (framing, overrun) are cleared here and cost only the
    // bytes they spoiled: the poll cycle drops a reply it cannot read.
    if (!::ClearCommError(line_, &errors, &status)) {
        lose_line(failure("reading from it", ::GetLastError()));
        return false;
    }
    if (status.cbInQue == 0) {
        return true;
    }
    std::string bytes(status.cbInQue, '\0');
    DWORD got = 0;
    if (!::ReadFile(line_, bytes.data(), status.cbInQue, &got, &drain_)) {
        DWORD error = ::GetLastError();
        if (error == ERROR_IO_PENDING) {
            if (::WaitForSingleObject(drain_.hEvent, kWaitingBytesReadLimitMs) != WAIT_OBJECT_0) {
                ::CancelIoEx(line_, &drain_);
            }
            // A read cut short keeps the bytes it had taken.
            error = ::GetOverlappedResult(line_, &drain_, &got, TRUE) ? ERROR_SUCCESS
                                                                      : ::GetLastError();
        }
        if (error != ERROR_SUCCESS && error != ERROR_OPERATION_ABORTED) {
            lose_line(failure("reading from it", error));
            return false;
        }
    }
    if (got > 0) {
        arrived_.append(bytes.data(), got);
        last_byte_ = bytes[got - 1];
    }
    return true;
}

void WindowsScannerPort::close() {
    close_handles();
}

void WindowsScannerPort::close_handles() {
    if (line_ == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD deadline = ::GetTickCount() + kCloseWriteLimitMs;
    for (QueuedWrite& queued : writes_) {
        const DWORD now = ::GetTickCount();
        const DWORD left = static_cast<LONG>(deadline - now) > 0 ? deadline - now : 0;
        ::WaitForSingleObject(queued.overlapped.hEvent, left);
    }
    // The system must be done with every OVERLAPPED and buffer before they
    // go, so each cancelled operation is waited for.
    ::CancelIoEx(line_, nullptr);
    DWORD done = 0;
    if (read_pending_) {
        ::GetOverlappedResult(line_, &read_, &done, TRUE);
        read_pending_ = false;
    }
    for (QueuedWrite& queued : writes_) {
        ::GetOverlappedResult(line_, &queued.overlapped, &done, TRUE);
        ::CloseHandle(queued.overlapped.hEvent);
    }
    writes_.clear();
    if (read_notifier_) {
        read_notifier_->setEnabled(false);
        gather_timer_->stop();
    }
    ::CloseHandle(line_);
    line_ = INVALID_HANDLE_VALUE;
    arrived_.clear();
}

bool WindowsScannerPort::is_open() const {
    return line_ != INVALID_HANDLE_VALUE;
}

void WindowsScannerPort::write(std::string_view bytes) {
    require_open("send to");
    if (!reap_finished_writes()) {
        require_open("send to");
    }
    if (bytes.empty()) {
        return;
    }
    QueuedWrite& queued = writes_.emplace_back();
    queued.bytes.assign(bytes);
    queued.overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (queued.overlapped.hEvent == nullptr) {
        writes_.pop_back();
        throw LinkError("Cannot send to " + line_name() +
                        ": the system has no event left to wait on (" +
                        system_text(::GetLastError()) + ").");
    }
    DWORD sent = 0;
    if (::WriteFile(line_, queued.bytes.data(), static_cast<DWORD>(queued.bytes.size()), &sent,
                    &queued.overlapped) ||
        ::GetLastError() == ERROR_IO_PENDING) {
        // Finished or not, it is reaped with the others at the next write.
        return;
    }
    const DWORD error = ::GetLastError();
    ::CloseHandle(queued.overlapped.hEvent);
    writes_.pop_back();
    const std::string what = failure("writing to it", error);
    lose_line(what);
    throw LinkError("Cannot send to " + line_name() + ": " + what + ".");
}

bool WindowsScannerPort::reap_finished_writes() {
    while (!writes_.empty() && HasOverlappedIoCompleted(&writes_.front().overlapped)) {
        QueuedWrite& queued = writes_.front();
        DWORD sent = 0;
        const bool finished = ::GetOverlappedResult(line_, &queued.overlapped, &sent, FALSE);
        const DWORD error = finished ? ERROR_SUCCESS : ::GetLastError();
        const bool whole = finished && sent == queued.bytes.size();
        ::CloseHandle(queued.overlapped.hEvent);
        writes_.pop_front();
        if (!whole) {
            // A write that timed out took in only part of its bytes.
            lose_line(finished ? "writing to it failed (the line took nothing in for " +
                                     std::to_string(kWriteLimitMs / 1000) + " s)"
                               : failure("writing to it", error));
            return false;
        }
    }
    return true;
}

int WindowsScannerPort::pending_input_count() {
    require_open("read from");
    take_in_arrived_bytes();
    require_open("read from");
    return arrived_.size() > INT_MAX ? INT_MAX : static_cast<int>(arrived_.size());
}

std::string WindowsScannerPort::read_pending_input() {
    require_open("read from");
    take_in_arrived_bytes();
    require_open("read from");
    return std::exchange(arrived_, {});
}

void WindowsScannerPort::lose_line(const std::string& what) {
    if (!is_open()) {
        return;
    }
    const std::string reason = "The serial line on " + line_name() + " was lost: " + what + ".";
    // Closed at once, so that nothing takes the same error again, and the
    // loss is reported once.
    close_handles();
    if (!on_link_lost_) {
        return;
    }
    try {
        on_link_lost_(reason);
    } catch (const std::exception& error) {
        qCritical("The lost serial line could not be reported: %s", error.what());
    } catch (...) {
        qCritical("The lost serial line could not be reported.");
    }
}

void WindowsScannerPort::require_open(const char* doing) const {
    if (!is_open()) {
        const std::string port =
            port_number_ > 0 ? "COM" + std::to_string(port_number_) : "the port";
        throw LinkError(std::string("Cannot ") + doing + " " + port +
                        ": the port is not open; open it first.");
    }
}

std::string WindowsScannerPort::line_name() const {
    const std::string port = "COM" + std::to_string(port_number_);
    return device_ == port ? port : port + " (" + device_ + ")";
}

LinkError WindowsScannerPort::open_failure(const std::string& reason) const {
    return LinkError("Cannot open " + line_name() + ": " + reason,
                     "COM" + std::to_string(port_number_) + ": " + reason);
}

std::unique_ptr<ScannerPort> make_scanner_port(
    std::function<void(const std::string& reason)> on_link_lost) {
    return std::make_unique<WindowsScannerPort>(std::move(on_link_lost));
}

}  // namespace taperly
