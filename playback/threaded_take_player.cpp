#include "playback/threaded_take_player.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "playback/heard_states.h"
#include "playback/output_pace.h"
#include "playback/play_engine.h"

namespace taperly {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How often the thread comes by while sound plays: well within what the
// output holds.
constexpr auto kPlayingPace = 50ms;
// Rendered and given in pieces no longer than this, so that what is heard
// is known to a tenth of a second.
constexpr double kPieceSeconds = 0.1;
// Given to the output ahead of what is heard, at most: more than an output
// holds (a second queued on the sound server, and as much again in its
// device), so that it never runs dry for want of it; only an output that
// asks for more is held back.
constexpr double kAheadSeconds = 2.5;
// While an output is open with nothing to play, to close it in time.
constexpr auto kIdlePace = 1s;
// An output that takes nothing for this long while sound waits has stopped.
constexpr auto kStalledAfter = 3s;
// An output with nothing to play is closed after this: a sound server keeps
// its device awake for an open stream.
constexpr auto kCloseAfter = 3s;
// A missing output is looked for again this often while sound waits.
constexpr auto kRetryAfter = 1s;
// Quiet after the last sound, so that an output which starts playing only
// once some sound is queued plays all of it.
constexpr double kTailSeconds = 0.1;

}  // namespace

struct ThreadedTakePlayer::Shared {
    using Order = std::function<void(Shared&)>;

    Shared(OpenTakeSound open, MakeOutput make)
        : engine(std::move(open)), make_output(std::move(make)) {}

    void run();
    void serve(Clock::time_point now);
    void give_output(long allowed);
    PlayerState state_heard(Clock::time_point now);
    // What the output holds of what it was given: what it says, or what the
    // clock says, whichever is more.
    long unheard(Clock::time_point now);
    void catch_up();
    void lose_output(const std::string& why, Clock::time_point now);
    Clock::time_point next_visit(Clock::time_point now) const;

    // The thread's own.
    PlayEngine engine;
    MakeOutput make_output;
    std::unique_ptr<SoundOutput> output;
    HeardStates heard;
    OutputPace pace{kAheadSeconds};
    std::string output_problem;
    Clock::time_point retry_at{};
    Clock::time_point last_written{};
    bool tail_written = true;
    // Sound given is still to be heard.
    bool still_heard = false;
    std::vector<std::int16_t> frames;

    mutable std::mutex mutex;
    std::condition_variable woken;
    std::vector<Order> orders;
    PlayerState published;
    bool quit = false;
    bool ended = false;
};

ThreadedTakePlayer::ThreadedTakePlayer(OpenTakeSound open, MakeOutput make_output)
    : shared_(std::make_shared<Shared>(std::move(open), std::move(make_output))) {
    std::thread([shared = shared_] { shared->run(); }).detach();
}

ThreadedTakePlayer::~ThreadedTakePlayer() {
    std::unique_lock lock(shared_->mutex);
    shared_->quit = true;
    shared_->woken.notify_all();
    shared_->woken.wait_for(lock, 2s, [this] { return shared_->ended; });
}

void ThreadedTakePlayer::Shared::run() {
    Clock::time_point wake_at = Clock::time_point::max();
    for (;;) {
        std::vector<Order> given;
        {
            std::unique_lock lock(mutex);
            woken.wait_until(lock, wake_at, [this] { return quit || !orders.empty(); });
            if (quit) {
                break;
            }
            given.swap(orders);
        }
        for (Order& order : given) {
            order(*this);
        }
        const Clock::time_point now = Clock::now();
        serve(now);
        PlayerState state = state_heard(now);
        {
            std::lock_guard lock(mutex);
            published = std::move(state);
        }
        wake_at = next_visit(now);
    }
    output.reset();
    std::lock_guard lock(mutex);
    ended = true;
    woken.notify_all();
}

void ThreadedTakePlayer::Shared::serve(Clock::time_point now) {
    if (engine.take_jump() && output) {
        output->drop();
        heard.forget();
        pace.restart(output->rate(), now);
    }
    const bool sounding = engine.sounding();
    if (!sounding && !output) {
        // Nothing to be heard: no output is missed.
        output_problem.clear();
    }
    if (sounding && !output && now >= retry_at) {
        std::unique_ptr<SoundOutput> opened = make_output();
        std::string why;
        if (opened->open(why)) {
            output = std::move(opened);
            engine.set_output_rate(output->rate());
            pace.restart(output->rate(), now);
            output_problem.clear();
            last_written = now;
        } else {
            lose_output(why, now);
        }
    }
    if (!output) {
        return;
    }
    output->set_paused(engine.paused());
    std::string why;
    const long room = output->room(why);
    if (room < 0) {
        lose_output(why, now);
        return;
    }
    if (sounding) {
        if (room == 0) {
            if (now - last_written > kStalledAfter) {
                lose_output("the sound output stopped playing", now);
            }
            return;
        }
        give_output(pace.allowed(room, now));
        last_written = now;
        tail_written = false;
    } else if (!engine.paused()) {
        if (!tail_written) {
            const auto tail = static_cast<long>(kTailSeconds * output->rate());
            frames.assign(static_cast<std::size_t>(std::min(room, tail)), 0);
            output->write(frames);
            pace.given(static_cast<long>(frames.size()));
            tail_written = true;
            last_written = now;
        } else if (now - last_written > kCloseAfter) {
            output.reset();
        }
    }
}

void ThreadedTakePlayer::Shared::give_output(long allowed) {
    const auto piece = static_cast<long>(kPieceSeconds * output->rate());
    while (allowed > 0 && engine.sounding()) {
        frames.resize(static_cast<std::size_t>(std::min(allowed, piece)));
        const std::size_t rendered = engine.render(frames);
        if (rendered == 0) {
            break;
        }
        output->write({frames.data(), rendered});
        heard.given(static_cast<std::int64_t>(rendered), engine.state());
        pace.given(static_cast<long>(rendered));
        allowed -= static_cast<long>(rendered);
    }
}

PlayerState ThreadedTakePlayer::Shared::state_heard(Clock::time_point now) {
    PlayerState read = engine.state();
    std::optional<PlayerState> heard_now;
    if (output) {
        heard_now = heard.heard(unheard(now), output->rate());
    }
    still_heard = heard_now.has_value();
    PlayerState state = heard_now ? *heard_now : read;
    if (heard_now && read.mode == PlayerState::Mode::kPaused) {
        // A pause holds the sound queued: it is heard at once.
        state.mode = read.mode;
    }
    state.speed = read.speed;
    state.problem = output_problem.empty() ? read.problem : output_problem;
    return state;
}

long ThreadedTakePlayer::Shared::unheard(Clock::time_point now) {
    // An output that says it heard at once what it was given (a null sink
    // does, seconds of it) would have the list's end shown while its last
    // seconds are still due, and the row run ahead of the sound.
    return std::max(output->queued(), pace.unheard(now));
}

void ThreadedTakePlayer::Shared::catch_up() {
    // The engine reads up to a second or two ahead of what is heard; an
    // order about "here" (next, previous, a place, a speed) means what is
    // heard. What is queued is dropped and the engine goes back to where the
    // sound is.
    if (output) {
        const std::optional<PlayerState> here = heard.heard(unheard(Clock::now()), output->rate());
        if (here && here->index >= 0) {
            engine.return_to(here->index, here->position_seconds);
        }
    }
}

void ThreadedTakePlayer::Shared::lose_output(const std::string& why, Clock::time_point now) {
    output.reset();
    heard.forget();
    output_problem = "No sound output: " + why;
    retry_at = now + kRetryAfter;
}

Clock::time_point ThreadedTakePlayer::Shared::next_visit(Clock::time_point now) const {
    if (engine.sounding()) {
        return output ? now + kPlayingPace : retry_at;
    }
    if (still_heard && !engine.paused()) {
        // The list read out, its end still to be heard: shown as it is.
        return now + kPlayingPace;
    }
    return output && !engine.paused() ? now + kIdlePace : Clock::time_point::max();
}

void ThreadedTakePlayer::play(std::vector<PlayItem> items) {
    give([items = std::move(items)](Shared& shared) mutable {
        shared.engine.play(std::move(items));
    });
}

void ThreadedTakePlayer::append(std::vector<PlayItem> items) {
    give([items = std::move(items)](Shared& shared) mutable {
        shared.engine.append(std::move(items));
    });
}

void ThreadedTakePlayer::set_follow_live(bool follow) {
    give([follow](Shared& shared) { shared.engine.set_follow_live(follow); });
}

void ThreadedTakePlayer::set_paused(bool paused) {
    give([paused](Shared& shared) { shared.engine.set_paused(paused); });
}

void ThreadedTakePlayer::next() {
    give([](Shared& shared) {
        shared.catch_up();
        shared.engine.next();
    });
}

void ThreadedTakePlayer::previous() {
    give([](Shared& shared) {
        shared.catch_up();
        shared.engine.previous();
    });
}

void ThreadedTakePlayer::seek(double seconds) {
    give([seconds](Shared& shared) {
        shared.catch_up();
        shared.engine.seek(seconds);
    });
}

void ThreadedTakePlayer::set_speed(double speed) {
    give([speed](Shared& shared) {
        shared.catch_up();
        shared.engine.set_speed(speed);
    });
}

void ThreadedTakePlayer::stop() {
    give([](Shared& shared) { shared.engine.stop(); });
}

void ThreadedTakePlayer::give(std::function<void(Shared&)> order) {
    std::lock_guard lock(shared_->mutex);
    shared_->orders.push_back(std::move(order));
    shared_->woken.notify_all();
}

PlayerState ThreadedTakePlayer::state() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->published;
}

}  // namespace taperly
