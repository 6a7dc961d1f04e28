#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <functional>

#include "tracking/clock.h"

namespace taperly {

// A time format without its time-zone parts ("t" to "tttt") and the blanks
// that joined them to the rest; quoted literal text is kept as it is.
QString time_format_without_zone(const QString& format);

// The desktop's clock as the locale shows it.
class SystemClock : public Clock {
  public:
    using TimeSource = std::function<QDateTime()>;

    // Without a time source, the desktop's own clock.
    explicit SystemClock(QLocale locale = QLocale::system(), TimeSource now = {});

    // The locale's long time format without a time zone; Unicode spaces
    // become plain ones, because the text ends up in file names.
    LocalTime local_time() override;
    // Always the system's steady clock, whatever time source names take.
    SteadyTime steady_time() override;

  private:
    LocalTime read_local_time();

    QLocale locale_;
    TimeSource now_;
    QString format_;
    // The desktop's clock is read five times a second between takes and
    // shows whole seconds: a second's reading serves the whole second.
    bool desktop_clock_;
    qint64 read_in_second_ = -1;
    LocalTime reading_;
};

}  // namespace taperly
