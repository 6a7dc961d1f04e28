#pragma once

#include "archive/local_zone.h"

namespace taperly {

// The desktop's time zone as Qt reads it from the system.
class QtLocalZone : public LocalZone {
  public:
    int offset_at(std::int64_t utc_seconds) const override;
    std::int64_t utc_of_local(std::int64_t local_seconds) const override;
};

}  // namespace taperly
