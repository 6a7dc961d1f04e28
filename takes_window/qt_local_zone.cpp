#include "takes_window/qt_local_zone.h"

#include <QDateTime>

namespace taperly {

int QtLocalZone::offset_at(std::int64_t utc_seconds) const {
    return QDateTime::fromSecsSinceEpoch(utc_seconds).offsetFromUtc();
}

std::int64_t QtLocalZone::utc_of_local(std::int64_t local_seconds) const {
    const QDateTime as_utc = QDateTime::fromSecsSinceEpoch(local_seconds, Qt::UTC);
    return QDateTime(as_utc.date(), as_utc.time(), Qt::LocalTime).toSecsSinceEpoch();
}

}  // namespace taperly
