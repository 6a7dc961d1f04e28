#include "uploads/system_upload_clock.h"

#include <QDateTime>

namespace taperly {

std::int64_t SystemUploadClock::unix_ms() {
    return QDateTime::currentMSecsSinceEpoch();
}

int SystemUploadClock::utc_offset_seconds() {
    return QDateTime::currentDateTime().offsetFromUtc();
}

UploadSteady SystemUploadClock::steady() {
    return std::chrono::duration_cast<UploadSteady>(
        std::chrono::steady_clock::now().time_since_epoch());
}

}  // namespace taperly
