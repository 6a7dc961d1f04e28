// The player's thread with an output that goes away mid-play: the window is
// told, the place is kept, and once an output is there again the take is
// heard on from where it was, nothing of it given out twice or lost. The
// take shown is the one heard, not the one read; an output that asks for
// far more than it holds is given no faster than sound is heard, and one
// that says it heard all at once is not believed beyond the clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "playback/fake_takes.h"
#include "playback/threaded_take_player.h"

namespace taperly {
namespace {

using namespace std::chrono_literals;

struct OutputLog {
    std::atomic<int> opened{0};
    std::atomic<long> sound_frames{0};
};

// Takes 100 frames at each visit; the first one made goes away after
// `lasts` frames.
class FakeOutput : public SoundOutput {
  public:
    FakeOutput(OutputLog& log, long lasts) : log_(log), lasts_(lasts) {}
    bool open(std::string&) override {
        ++log_.opened;
        return true;
    }
    int rate() const override { return testing::kFakeRate; }
    long room(std::string& problem) override {
        if (written_ >= lasts_) {
            problem = "the sound server went away";
            return -1;
        }
        return 100;
    }
    long queued() override { return 0; }
    void write(std::span<const std::int16_t> frames) override {
        written_ += static_cast<long>(frames.size());
        log_.sound_frames += std::count_if(frames.begin(), frames.end(),
                                           [](std::int16_t sample) { return sample != 0; });
    }
    void drop() override {}
    void set_paused(bool) override {}

  private:
    OutputLog& log_;
    long lasts_;
    long written_ = 0;
};

template <typename Condition>
bool wait_for(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// An output that holds the last second given (1000 frames of the fake
// takes) unheard, and takes no more once 1200 frames were given since its
// last drop: the engine has read into the second take while the first is
// heard.
class HoldingOutput : public SoundOutput {
  public:
    bool open(std::string&) override { return true; }
    int rate() const override { return testing::kFakeRate; }
    long room(std::string&) override { return given_ < 1200 ? 100 : 0; }
    long queued() override { return std::min(given_, 1000L); }
    void write(std::span<const std::int16_t> frames) override {
        if (given_ == 0 && !frames.empty()) {
            first_after_drop = testing::letter_of(frames[0]);
        }
        given_ += static_cast<long>(frames.size());
        given_since_drop = given_;
    }
    void drop() override { given_ = 0; }
    void set_paused(bool) override {}

    std::atomic<char> first_after_drop{0};
    std::atomic<long> given_since_drop{0};

  private:
    long given_ = 0;
};

TEST(ThreadedTakePlayer, ShowsTheTakeHeardAndMovesOnFromIt) {
    std::atomic<HoldingOutput*> output = nullptr;
    ThreadedTakePlayer player(testing::fake_opener({"A500", "B3000", "C500"}), [&output] {
        auto made = std::make_unique<HoldingOutput>();
        output = made.get();
        return made;
    });
    player.play({{"1.wav", 1}, {"2.wav", 2}, {"3.wav", 3}});
    // 1200 frames given, 1000 of them unheard: 0.2 s into the first take.
    PlayerState state;
    ASSERT_TRUE(wait_for([&] {
        state = player.state();
        return output && output.load()->given_since_drop == 1200 && state.position_seconds > 0.15;
    }));
    EXPECT_EQ(state.id, 1);
    EXPECT_NEAR(state.position_seconds, 0.2, 1e-9);
    // "Next" from the first take heard is the second, not the one after
    // the take being read.
    player.next();
    ASSERT_TRUE(wait_for([&] {
        state = player.state();
        return state.id != 1;
    }));
    EXPECT_EQ(state.id, 2);
    EXPECT_EQ(output.load()->first_after_drop, 'B');
}

// As a null sink waking up: room for minutes, and what it says it holds
// jumping between all that was given and nothing, back and forth.
class GreedyOutput : public SoundOutput {
  public:
    bool open(std::string&) override { return true; }
    int rate() const override { return testing::kFakeRate; }
    long room(std::string&) override { return 1'000'000; }
    long queued() override { return (++asked % 2) ? 0 : given.load(); }
    void write(std::span<const std::int16_t> frames) override {
        given += static_cast<long>(frames.size());
    }
    void drop() override {}
    void set_paused(bool) override {}

    std::atomic<long> given{0};
    // Asked once a visit, before what is heard is shown.
    std::atomic<long> asked{0};
};

TEST(ThreadedTakePlayer, AnOutputThatAsksForMinutesIsHeldBackAndTheTakeHeardIsShown) {
    std::atomic<GreedyOutput*> output = nullptr;
    ThreadedTakePlayer player(testing::fake_opener({"A10000", "B1000"}), [&output] {
        auto made = std::make_unique<GreedyOutput>();
        output = made.get();
        return made;
    });
    player.play({{"1.wav", 1}, {"2.wav", 2}});
    // Two visits shown: the output was given what an output holds, then what it
    // heard since by the clock; the list is seconds from its end.
    ASSERT_TRUE(wait_for([&] { return output && output.load()->asked >= 3; }));
    const PlayerState state = player.state();
    EXPECT_EQ(state.mode, PlayerState::Mode::kPlaying);
    EXPECT_EQ(state.id, 1);
    EXPECT_LT(output.load()->given, 10000);
}

// As a null sink after its first burst: room for all, and all it was
// given heard at once, by its word.
class SwallowingOutput : public SoundOutput {
  public:
    bool open(std::string&) override { return true; }
    int rate() const override { return testing::kFakeRate; }
    long room(std::string&) override { return 1'000'000; }
    long queued() override { return 0; }
    void write(std::span<const std::int16_t>) override {}
    void drop() override {}
    void set_paused(bool) override {}
};

TEST(ThreadedTakePlayer, WhatIsShownHeardKeepsToTheClockWhateverTheOutputSays) {
    // Two seconds, all given at the first visit.
    ThreadedTakePlayer player(testing::fake_opener({"A2000"}),
                              [] { return std::make_unique<SwallowingOutput>(); });
    const auto started = std::chrono::steady_clock::now();
    const auto since = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    player.play({{"1.wav", 1}});
    bool shown_playing = false;
    ASSERT_TRUE(wait_for([&] {
        const PlayerState state = player.state();
        if (state.mode == PlayerState::Mode::kPlaying) {
            shown_playing = true;
            // Read after the state was made, so later than it by the clock.
            EXPECT_LE(state.position_seconds, since() * 1.01 + 0.01);
        }
        // Stopped before it was shown playing is the state before the
        // first visit, or the fault.
        return state.mode == PlayerState::Mode::kStopped && (shown_playing || since() > 1);
    }));
    // Its end is shown once two seconds can have been heard, not when read.
    EXPECT_TRUE(shown_playing);
    EXPECT_GE(since(), 1.9);
}

TEST(ThreadedTakePlayer, AnOutputThatGoesAwayIsSaidAndPlayingGoesOnOnceOneIsBack) {
    OutputLog log;
    ThreadedTakePlayer player(testing::fake_opener({"A3000"}), [&log] {
        return std::make_unique<FakeOutput>(log, log.opened == 0 ? 1000 : 1'000'000);
    });
    player.play({{"1.wav", 1}});
    PlayerState state;
    ASSERT_TRUE(wait_for([&] {
        state = player.state();
        return !state.problem.empty();
    }));
    EXPECT_EQ(state.problem, "No sound output: the sound server went away");
    EXPECT_EQ(state.mode, PlayerState::Mode::kPlaying);
    EXPECT_EQ(state.position_seconds, 1.0);
    ASSERT_TRUE(wait_for([&] {
        state = player.state();
        return state.mode == PlayerState::Mode::kStopped;
    }));
    EXPECT_EQ(state.problem, "");
    EXPECT_EQ(log.opened, 2);
    EXPECT_EQ(log.sound_frames, 3000);
}

}  // namespace
}  // namespace taperly
