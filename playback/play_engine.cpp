#include "playback/play_engine.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace taperly {

namespace {

// Frames put into the stretcher at a time.
constexpr std::size_t kStretchBlock = 1024;

std::string file_name(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

PlayEngine::PlayEngine(OpenTakeSound open, int output_rate)
    : open_(std::move(open)), output_rate_(output_rate) {}

void PlayEngine::reset() {
    list_.clear();
    listed_ = false;
    played_out_ = false;
    paused_ = false;
    current_ = -1;
    resume_at_ = 0;
    sound_.reset();
    stretcher_.clear();
    jumped_ = true;
    problem_.clear();
}

void PlayEngine::play(std::vector<PlayItem> items) {
    reset();
    for (PlayItem& item : items) {
        list_.push_back({std::move(item), false});
    }
    listed_ = true;
    enter(0, true);
}

void PlayEngine::append(std::vector<PlayItem> items) {
    if (!listed_) {
        return;
    }
    for (PlayItem& item : items) {
        list_.push_back({std::move(item), true});
    }
    if (current_ < 0 && !played_out_) {
        enter(resume_at_, false);
    }
}

void PlayEngine::set_follow_live(bool follow) {
    follow_ = follow;
    if (!listed_ || current_ >= 0) {
        return;
    }
    if (follow && played_out_) {
        played_out_ = false;
        enter(resume_at_, false);
    } else if (!follow && !played_out_) {
        run_out(resume_at_);
    }
}

void PlayEngine::set_paused(bool paused) {
    if (listed_ && !played_out_) {
        paused_ = paused;
    }
}

void PlayEngine::next() {
    if (!listed_ || current_ < 0) {
        return;
    }
    problem_.clear();
    enter(current_ + 1, true);
}

void PlayEngine::previous() {
    if (!listed_ || list_.empty()) {
        return;
    }
    problem_.clear();
    int target = 0;
    if (current_ < 0) {
        target = resume_at_ - 1;
    } else {
        const double into = static_cast<double>(heard_frame() - part_.begin) / sound_->rate();
        target = into > kRestartAfterSeconds ? current_ : current_ - 1;
    }
    const int playing = current_;
    stretcher_.clear();
    jumped_ = true;
    // Back over takes that cannot be played, to the one playing at worst.
    for (int index = std::max(target, 0); index >= 0; --index) {
        if (open_at(index)) {
            played_out_ = false;
            return;
        }
    }
    enter(std::max(playing, 0), true);
}

void PlayEngine::seek(double seconds) {
    if (current_ < 0 || !std::isfinite(seconds)) {
        return;
    }
    const std::int64_t frames = sound_->frames();
    const std::int64_t frame =
        std::clamp<std::int64_t>(std::llround(seconds * sound_->rate()), 0, frames);
    // A place in the quiet at the end was asked for: it is heard.
    end_ = frame > part_.end ? frames : part_.end;
    restart_at(frame);
    jumped_ = true;
    if (next_ >= end_) {
        enter(current_ + 1, true);
    }
}

void PlayEngine::return_to(int index, double seconds) {
    if (!listed_ || index < 0 || index >= static_cast<int>(list_.size())) {
        return;
    }
    if (index != current_ && !open_at(index)) {
        return;
    }
    played_out_ = false;
    seek(seconds);
}

void PlayEngine::set_speed(double speed) {
    if (!std::isfinite(speed)) {
        return;
    }
    speed = std::clamp(speed, 1.0, 2.0);
    if (speed == speed_) {
        return;
    }
    if (current_ >= 0) {
        const std::int64_t heard = heard_frame();
        speed_ = speed;
        restart_at(heard);
    } else {
        speed_ = speed;
    }
}

void PlayEngine::stop() {
    reset();
}

void PlayEngine::set_output_rate(int rate) {
    if (rate <= 0 || rate == output_rate_) {
        return;
    }
    if (current_ >= 0) {
        const std::int64_t heard = heard_frame();
        output_rate_ = rate;
        restart_at(heard);
    } else {
        output_rate_ = rate;
        stretcher_.clear();
    }
}

void PlayEngine::enter(int index, bool jump) {
    if (jump) {
        stretcher_.clear();
        jumped_ = true;
    }
    sound_.reset();
    current_ = -1;
    const int size = static_cast<int>(list_.size());
    for (int at = std::max(index, 0); at < size; ++at) {
        if (list_[static_cast<std::size_t>(at)].appended && !follow_) {
            run_out(at);
            return;
        }
        if (open_at(at)) {
            return;
        }
    }
    run_out(size);
}

bool PlayEngine::open_at(int index) {
    const PlayItem& item = list_[static_cast<std::size_t>(index)].item;
    std::string why;
    std::unique_ptr<TakeSound> sound = open_(item.path, why);
    if (!sound) {
        problem_ = "Cannot play " + file_name(item.path) + ": " + why;
        return false;
    }
    const PlayedPart part = played_part(*sound);
    if (part.begin == part.end) {
        // Quiet throughout: nothing of it is heard between its neighbours.
        return false;
    }
    sound_ = std::move(sound);
    part_ = part;
    current_ = index;
    next_ = part.begin;
    from_ = part.begin;
    end_ = part.end;
    configure_stretcher();
    return true;
}

void PlayEngine::run_out(int resume_at) {
    sound_.reset();
    current_ = -1;
    resume_at_ = resume_at;
    if (!follow_) {
        played_out_ = true;
        paused_ = false;
    }
}

bool PlayEngine::stretching() const {
    return speed_ != 1.0 || (sound_ && sound_->rate() != output_rate_);
}

void PlayEngine::configure_stretcher() {
    if (sound_) {
        stretcher_.set(speed_, sound_->rate(), output_rate_);
    }
}

std::int64_t PlayEngine::heard_frame() const {
    const auto behind = stretching() ? std::llround(stretcher_.behind()) : 0;
    return std::max(from_, next_ - static_cast<std::int64_t>(behind));
}

void PlayEngine::restart_at(std::int64_t frame) {
    stretcher_.clear();
    next_ = frame;
    from_ = frame;
    configure_stretcher();
}

std::size_t PlayEngine::render(std::span<std::int16_t> into) {
    std::size_t done = 0;
    while (done < into.size() && !paused_) {
        const std::span<std::int16_t> rest = into.subspan(done);
        if (current_ < 0 || !stretching()) {
            // What the stretcher still holds of takes before is heard first.
            if (stretcher_.holds()) {
                const std::size_t got = stretcher_.take(rest);
                if (got == 0) {
                    stretcher_.finish();
                }
                done += got;
                continue;
            }
            if (current_ < 0) {
                break;
            }
            const auto wanted = static_cast<std::size_t>(
                std::min<std::int64_t>(static_cast<std::int64_t>(rest.size()), end_ - next_));
            const std::size_t got = sound_->read(next_, rest.first(wanted));
            next_ += static_cast<std::int64_t>(got);
            done += got;
            if (got < wanted || next_ >= end_) {
                enter(current_ + 1, false);
            }
            continue;
        }
        const std::size_t taken = stretcher_.take(rest);
        done += taken;
        if (done == into.size()) {
            break;
        }
        const auto wanted = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(kStretchBlock), end_ - next_));
        block_.resize(wanted);
        const std::size_t got = sound_->read(next_, block_);
        next_ += static_cast<std::int64_t>(got);
        stretcher_.put({block_.data(), got});
        if (got < wanted || next_ >= end_) {
            enter(current_ + 1, false);
        }
    }
    return done;
}

bool PlayEngine::sounding() const {
    return !paused_ && (current_ >= 0 || stretcher_.holds());
}

bool PlayEngine::take_jump() {
    return std::exchange(jumped_, false);
}

PlayerState PlayEngine::state() const {
    PlayerState state;
    state.speed = speed_;
    state.problem = problem_;
    if (!listed_ || played_out_) {
        return state;
    }
    if (current_ >= 0) {
        const Entry& entry = list_[static_cast<std::size_t>(current_)];
        state.index = current_;
        state.id = entry.item.id;
        state.position_seconds = static_cast<double>(heard_frame()) / sound_->rate();
        state.length_seconds = static_cast<double>(sound_->frames()) / sound_->rate();
    }
    state.mode = paused_         ? PlayerState::Mode::kPaused
                 : current_ >= 0 ? PlayerState::Mode::kPlaying
                                 : PlayerState::Mode::kWaitingForLive;
    return state;
}

}  // namespace taperly
