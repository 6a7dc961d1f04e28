#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "recorder/recorder_control.h"
#include "recorder/takes/late_save.h"
#include "recorder/takes/take_failure.h"

namespace taperly {

// What became of the takes, kept for the status line on the window's thread:
// a save told on the spot and one that finishes later, on the thread that
// encoded it, come to the same state, the latter once it is handed over.
class TakeOutcomes {
  public:
    TakeOutcomes();

    // A take begins: the name an earlier one found taken is old news.
    void take_begun() { name_taken_.clear(); }
    // Writing the take being recorded failed: it is cut short.
    void cut(const TakeFailure& why) { write_failure_ = why; }
    // A take was saved; `not_flushed`, when not empty, is the disk's error
    // once it had its name. A take saved `whole` ends the news of a cut one.
    void saved(const TakeFailure& not_flushed, bool whole);
    void not_saved(const TakeFailure& why) { save_failure_ = why; }
    void name_taken(const std::string& name) { name_taken_ = name; }

    // What to give a save that finishes later: it hands the outcome over,
    // wakes whoever on_late_save names, then tells `told` (if any).
    LateSaveTold told_later(LateSaveTold told, bool whole) const;
    void on_late_save(std::function<void()> wake);
    // Takes in what was handed over; true when anything was.
    bool settle();

    // Fills in what the storage says of the takes' outcomes.
    void tell(TakeStorage& storage) const;

  private:
    struct Handed {
        LateSave save;
        bool whole = false;
    };
    // Shared with the saves still under way, which may outlast the recorder.
    struct Handover {
        std::mutex mutex;
        std::vector<Handed> outcomes;
        std::function<void()> wake;
    };

    std::shared_ptr<Handover> handover_;
    TakeFailure write_failure_;
    TakeFailure save_failure_;
    TakeFailure not_flushed_;
    std::string name_taken_;
    int saved_count_ = 0;
};

}  // namespace taperly
