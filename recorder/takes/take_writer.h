#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "recorder/takes/late_save.h"
#include "recorder/takes/take_failure.h"
#include "recorder/takes/take_tags.h"

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
    // The frames the take holds.
    virtual std::int64_t frames() const = 0;
    // The largest absolute sample among them, 0 to 32768.
    virtual int peak() const { return 0; }
    // What the take says of itself from now on: written into the take open
    // now, until it is saved, and into every take begun later.
    virtual void describe(const TakeTags& tags) = 0;

    enum class Saved { kStored, kStoredNotFlushed, kNameTaken, kFailed, kPending };
    // Makes the whole take appear under the bare name in the takes folder in
    // one step, once it is on the disk; never replaces an existing file.
    // Afterwards nothing more is added to it. kStoredNotFlushed: it has the
    // name, but the disk reported an error flushing the folder's names
    // (failure() says which). kPending: the take is no longer the writer's,
    // and what its save came to is told later to whatever when_saved_later
    // was given.
    virtual Saved save_as(const std::string& name) = 0;
    // Told what the next save that comes to kPending came to.
    virtual void when_saved_later(LateSaveTold /*told*/) {}
    // How the names of the takes it saves end: ".wav", or ".flac" for one
    // that stores them as FLAC.
    virtual std::string extension() const { return ".wav"; }
    // Every take handed on to be stored later is stored now as it is (see
    // RecorderControl::finish_storing_now); returns once each one is.
    virtual void finish_storing_now() {}
    // Leaves a take that could not be saved where it is, for the next start
    // to recover.
    virtual void keep_hidden() = 0;
    // Drops the take and everything held for it.
    virtual void discard() = 0;
    // Why the take could not be begun, written or saved, empty while all is well.
    virtual const TakeFailure& failure() const = 0;
};

}  // namespace taperly
