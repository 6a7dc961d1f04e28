#include "takes_window/time_field.h"

namespace taperly {

namespace {

const QString kFormat = QStringLiteral("yyyy-MM-dd HH:mm");

}  // namespace

TimeField::TimeField(const QDateTime& shown, QWidget* parent) : QLineEdit(parent) {
    // Digits only, in their places: the separators are typed over.
    setInputMask(QStringLiteral("0000-00-00 00:00"));
    show_minute(shown);
    setToolTip(tr("A local date and time: year-month-day hour:minute (24 hours)"));
    connect(this, &QLineEdit::textChanged, this, [this] {
        // A time that is no time is marked, and the list keeps the last one.
        setStyleSheet(minute() ? QString() : QStringLiteral("color: red"));
    });
}

std::optional<QDateTime> TimeField::minute() const {
    const QDateTime time = QDateTime::fromString(text(), kFormat);
    if (!time.isValid()) {
        return std::nullopt;
    }
    return time;
}

void TimeField::show_minute(const QDateTime& time) {
    setText(time.toString(kFormat));
}

}  // namespace taperly
