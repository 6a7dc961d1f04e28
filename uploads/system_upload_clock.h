#pragma once

#include "uploads/target_queue.h"

namespace taperly {

// The desktop's clock and time zone, and the steady clock.
class SystemUploadClock : public UploadClock {
  public:
    std::int64_t unix_ms() override;
    int utc_offset_seconds() override;
    UploadSteady steady() override;
};

}  // namespace taperly
