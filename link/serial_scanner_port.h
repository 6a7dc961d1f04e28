#pragma once

#include <termios.h>
#include <QObject>
#include <QSerialPort>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "link/scanner_port.h"

namespace taperly {

// The scanner's serial line over QSerialPort: 8 data bits, no parity, one stop
// bit, no flow control. A line that goes away while open (adapter pulled,
// other end closed) is closed at its first error and reported once through
// `on_link_lost` at that moment, which may be inside a write or read of this
// class: the receiver takes note and acts once that call is over. What the
// loss means for a run is the line owner's to decide, not the port's.
class SerialScannerPort : public QObject, public ScannerPort {
    Q_OBJECT

  public:
    explicit SerialScannerPort(std::function<void(const std::string& reason)> on_link_lost,
                               QObject* parent = nullptr);
    ~SerialScannerPort() override;

    void open(int port_number, int bits_per_second) override;
    void close() override;
    bool is_open() const override;
    void write(std::string_view bytes) override;
    int pending_input_count() override;
    std::string read_pending_input() override;
    void on_input(std::function<void()> arrived) override;
    void wake_at_reply_end(bool wake) override;

  private:
    void on_serial_error(QSerialPort::SerialPortError error);
    void close_quietly();
    void report_lost_line(const std::string& reason);
    void take_in_arrived_bytes();
    void require_open(const char* doing) const;
    void configure_line(int bits_per_second);
    std::string open_failure_reason() const;
    std::string line_name() const;

    QSerialPort serial_;
    std::function<void(const std::string& reason)> on_link_lost_;
    int port_number_ = 0;
    std::string device_;
    std::function<void()> on_input_;
    // True while this class fetches bytes itself: the caller is reading then.
    bool fetching_ = false;
    bool fetched_ = false;
    // Whether the system gathers each reply up to its carriage return now,
    // and whether it can at all on this line.
    bool gathering_ = false;
    bool can_gather_ = false;
    // Whether the system hands over a gathered reply when it ends.
    bool waking_ = true;
    // What the line discipline was last set to while gathering.
    termios line_settings_{};
    std::chrono::steady_clock::time_point last_delivery_{};
};

}  // namespace taperly
