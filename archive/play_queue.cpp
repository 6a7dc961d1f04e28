#include "archive/play_queue.h"

#include <algorithm>

#include "settings/file_exists.h"

namespace taperly {

namespace {

// The player is given the next batch this many takes before it runs out.
constexpr int kAhead = 20;

}  // namespace

PlayQueue::PlayQueue(TakeArchive& archive, TakePlayer& player, std::string folder)
    : archive_(archive), player_(player), folder_(std::move(folder)) {}

PlayItem PlayQueue::item(const ArchivedTake& take) const {
    return {join_path(folder_, take.facts.file_name), take.id};
}

bool PlayQueue::play(std::vector<ArchivedTake> takes) {
    ++session_;
    filter_.reset();
    std::erase_if(takes, [](const ArchivedTake& take) { return !take.present; });
    if (takes.empty()) {
        return false;
    }
    std::sort(takes.begin(), takes.end(),
              [](const ArchivedTake& a, const ArchivedTake& b) { return a.id < b.id; });
    std::vector<PlayItem> items;
    for (const ArchivedTake& take : takes) {
        items.push_back(item(take));
    }
    player_.set_follow_live(false);
    player_.play(std::move(items));
    return true;
}

void PlayQueue::play_from(const TakeFilter& filter, std::int64_t id, bool follow_live) {
    const int session = ++session_;
    filter_ = filter;
    follow_live_ = follow_live;
    fetching_ = true;
    archive_.takes_from(filter, id, true, kBatch,
                        [this, session, id](const std::vector<ArchivedTake>& takes) {
                            if (session != session_) {
                                return;
                            }
                            fetching_ = false;
                            std::vector<PlayItem> items;
                            for (const ArchivedTake& take : takes) {
                                items.push_back(item(take));
                            }
                            given_ = static_cast<int>(items.size());
                            last_id_ = takes.empty() ? id : takes.back().id;
                            played_out_ = given_ < kBatch;
                            player_.set_follow_live(follow_live_);
                            player_.play(std::move(items));
                        });
}

void PlayQueue::set_follow_live(bool follow) {
    follow_live_ = follow;
    if (filter_) {
        player_.set_follow_live(follow);
    }
}

void PlayQueue::tick() {
    if (!filter_ || fetching_ || last_id_ == 0) {
        return;
    }
    const PlayerState state = player_.state();
    if (state.mode == PlayerState::Mode::kStopped && state.index < 0) {
        return;
    }
    const bool near_end =
        state.mode == PlayerState::Mode::kWaitingForLive || state.index >= given_ - kAhead;
    if (near_end && (!played_out_ || follow_live_)) {
        fetch();
    }
}

void PlayQueue::fetch() {
    fetching_ = true;
    archive_.takes_from(*filter_, last_id_, false, kBatch,
                        [this, session = session_](const std::vector<ArchivedTake>& takes) {
                            if (session != session_) {
                                return;
                            }
                            fetching_ = false;
                            played_out_ = static_cast<int>(takes.size()) < kBatch;
                            if (takes.empty()) {
                                return;
                            }
                            std::vector<PlayItem> items;
                            for (const ArchivedTake& take : takes) {
                                items.push_back(item(take));
                            }
                            given_ += static_cast<int>(items.size());
                            last_id_ = takes.back().id;
                            player_.append(std::move(items));
                        });
}

}  // namespace taperly
