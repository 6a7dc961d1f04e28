#pragma once

#include <QDateTime>
#include <QLineEdit>
#include <optional>

namespace taperly {

// A local date and time to the minute, typed as 2026-12-05 21:30: the
// order a reader of any locale takes for a date, and one field that Qt
// builds without its date editors (the Windows build leaves them out) can
// offer.
class TimeField : public QLineEdit {
  public:
    TimeField(const QDateTime& shown, QWidget* parent);

    // The minute typed, or none while the text is not a whole date and time.
    std::optional<QDateTime> minute() const;
    void show_minute(const QDateTime& time);
};

}  // namespace taperly
