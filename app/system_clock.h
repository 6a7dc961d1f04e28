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

    explicit SystemClock(QLocale locale = QLocale::system(),
                         TimeSource now = &QDateTime::currentDateTime);

    // The locale's long time format without a time zone; Unicode spaces
    // become plain ones, because the text ends up in file names.
    LocalTime local_time() override;
    // Always the system's steady clock, whatever time source names take.
    SteadyTime steady_time() override;

  private:
    QLocale locale_;
    TimeSource now_;
    QString format_;
};

}  // namespace taperly
