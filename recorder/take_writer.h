#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace taperly {

// Holds the sound of one take until it is saved or discarded.
class TakeWriter {
  public:
    virtual ~TakeWriter() = default;

    // Starts a new, empty take that began at `started` ("9-05-07-PM_12-05-2026",
    // empty when not known), dropping any earlier one; false when the take
    // cannot be held.
    virtual bool begin(const std::string& started) = 0;
    // Adds frames at the end. After a failed write, the frames written before
    // stay and later ones are dropped.
    virtual void append(std::span<const std::int16_t> frames) = 0;
    // Makes the whole take appear under the bare name in the takes folder in
    // one step; never replaces an existing file. True when it was stored.
    virtual bool save_as(const std::string& name) = 0;
    // Drops the take and everything held for it.
    virtual void discard() = 0;
    // Why the take could not be begun or written, empty while all is well.
    virtual std::string failure() const { return {}; }
};

}  // namespace taperly
