#include "recorder/take_outcomes.h"

#include <utility>

namespace taperly {

TakeOutcomes::TakeOutcomes() : handover_(std::make_shared<Handover>()) {}

void TakeOutcomes::saved(const TakeFailure& not_flushed, bool whole) {
    ++saved_count_;
    save_failure_ = {};
    not_flushed_ = not_flushed;
    if (whole) {
        write_failure_ = {};
    }
}

LateSaveTold TakeOutcomes::told_later(LateSaveTold told, bool whole) const {
    return [handover = handover_, told = std::move(told), whole](const LateSave& save) {
        {
            const std::lock_guard lock(handover->mutex);
            handover->outcomes.push_back({save, whole});
            if (handover->wake) {
                handover->wake();
            }
        }
        if (told) {
            told(save);
        }
    };
}

void TakeOutcomes::on_late_save(std::function<void()> wake) {
    const std::lock_guard lock(handover_->mutex);
    handover_->wake = std::move(wake);
}

bool TakeOutcomes::settle() {
    std::vector<Handed> outcomes;
    {
        const std::lock_guard lock(handover_->mutex);
        outcomes.swap(handover_->outcomes);
    }
    for (const Handed& handed : outcomes) {
        switch (handed.save.saved) {
            case LateSave::Saved::kStored:
                saved(handed.save.failure, handed.whole);
                break;
            case LateSave::Saved::kNameTaken:
                name_taken(handed.save.file_name);
                break;
            case LateSave::Saved::kFailed:
                not_saved(handed.save.failure);
                break;
        }
    }
    return !outcomes.empty();
}

void TakeOutcomes::tell(TakeStorage& storage) const {
    storage.write_failure = write_failure_;
    storage.save_failure = save_failure_;
    storage.not_flushed = not_flushed_;
    storage.name_taken = name_taken_;
    storage.saved_count = saved_count_;
}

}  // namespace taperly
