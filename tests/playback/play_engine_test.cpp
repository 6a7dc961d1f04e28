// The rules of playing a list, heard through the engine as an output hears
// it, 10 ms at a time: the quiet between takes cut, next and previous at
// the edges, pausing, seeking, following live, takes that cannot play.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "playback/fake_takes.h"
#include "playback/play_engine.h"

namespace taperly {
namespace {

using Mode = PlayerState::Mode;
using testing::fake_opener;

struct Step {
    int at_ms;
    std::string order;
};

struct EngineRow {
    const char* what;
    std::vector<std::string> takes;
    // How many of them play() is given; the rest may be appended.
    int listed;
    bool follow;
    std::vector<Step> steps;
    // The runs heard ("A300" is 300 ms of take A's sound, "q" quiet); "^"
    // where what is queued for the output is dropped, "|" where nothing is
    // heard until the next order.
    std::string heard;
    Mode end_mode;
    std::string problem;
};

void PrintTo(const EngineRow& row, std::ostream* out) {
    *out << row.what;
}

void give(PlayEngine& engine, const std::string& order) {
    std::istringstream words(order);
    std::string verb;
    words >> verb;
    if (verb == "next") {
        engine.next();
    } else if (verb == "previous") {
        engine.previous();
    } else if (verb == "pause" || verb == "resume") {
        engine.set_paused(verb == "pause");
    } else if (verb == "stop") {
        engine.stop();
    } else if (verb == "follow" || verb == "unfollow") {
        engine.set_follow_live(verb == "follow");
    } else if (verb == "seek") {
        double seconds = 0;
        words >> seconds;
        engine.seek(seconds);
    } else if (verb == "append") {
        std::vector<PlayItem> items;
        int take = 0;
        while (words >> take) {
            items.push_back({std::to_string(take) + ".wav", take});
        }
        engine.append(items);
    } else {
        ADD_FAILURE() << "no order " << order;
    }
}

// What an output would hear, with the orders given at their times.
std::string heard(PlayEngine& engine, const std::vector<Step>& steps) {
    std::vector<std::string> runs;
    char last = 0;
    int length = 0;
    const auto close_run = [&] {
        if (length > 0) {
            runs.push_back(last + std::to_string(length));
        }
        length = 0;
        last = 0;
    };
    std::size_t next_step = 0;
    int clock = 0;
    std::vector<std::int16_t> chunk(10);
    for (int guard = 0; guard < 100000; ++guard) {
        while (next_step < steps.size() && steps[next_step].at_ms <= clock) {
            give(engine, steps[next_step++].order);
            if (engine.take_jump()) {
                close_run();
                runs.push_back("^");
            }
        }
        const std::size_t got = engine.render(chunk);
        for (std::size_t i = 0; i < got; ++i) {
            const char letter = testing::letter_of(chunk[i]);
            if (letter != last) {
                close_run();
                last = letter;
            }
            ++length;
        }
        clock += static_cast<int>(got);
        if (got < chunk.size()) {
            if (next_step == steps.size()) {
                break;
            }
            close_run();
            runs.push_back("|");
            clock = std::max(clock, steps[next_step].at_ms);
        }
    }
    close_run();
    std::string text;
    for (const std::string& run : runs) {
        text += (text.empty() ? "" : " ") + run;
    }
    return text;
}

std::vector<EngineRow> table() {
    const auto stopped = Mode::kStopped;
    const auto waiting = Mode::kWaitingForLive;
    return {
        {"quiet at the edges is cut to a quarter second a side",
         {"q800 A1000 q300", "q100 B500 q2000"},
         2,
         false,
         {},
         "q250 A1000 q350 B500 q250",
         stopped,
         ""},
        {"quiet inside a take stays",
         {"A300 q1500 A300"},
         1,
         false,
         {},
         "A300 q1500 A300",
         stopped,
         ""},
        {"a take quiet throughout is passed over",
         {"A500", "q3000", "B500"},
         3,
         false,
         {},
         "A500 B500",
         stopped,
         ""},
        {"a take that cannot be read is passed over and said",
         {"A500", "!", "B500"},
         3,
         false,
         {},
         "A500 B500",
         stopped,
         "Cannot play 2.wav: it is not sound libsndfile reads"},
        {"next moves on at once, what is queued dropped",
         {"A1000", "B1000"},
         2,
         false,
         {{300, "next"}},
         "A300 ^ B1000",
         stopped,
         ""},
        {"next at the last take, following off, ends the list",
         {"A1000"},
         1,
         false,
         {{200, "next"}},
         "A200 ^",
         stopped,
         ""},
        {"next at the last take, following live, waits",
         {"A1000"},
         1,
         true,
         {{200, "next"}},
         "A200 ^",
         waiting,
         ""},
        {"previous early in a take goes to the take before",
         {"A1000", "B3000"},
         2,
         false,
         {{1500, "previous"}},
         "A1000 B500 ^ A1000 B3000",
         stopped,
         ""},
        {"previous later in a take starts it again",
         {"A1000", "B3000"},
         2,
         false,
         {{3500, "previous"}},
         "A1000 B2500 ^ B3000",
         stopped,
         ""},
        {"previous at the first take starts it again",
         {"A1000"},
         1,
         false,
         {{500, "previous"}},
         "A500 ^ A1000",
         stopped,
         ""},
        {"previous goes back over a take that cannot be read",
         {"A1000", "!", "C1000"},
         3,
         false,
         {{1500, "previous"}},
         "A1000 C500 ^ A1000 C1000",
         stopped,
         "Cannot play 2.wav: it is not sound libsndfile reads"},
        {"previous once the list ran out plays its last take",
         {"A500", "B500"},
         2,
         false,
         {{1200, "previous"}},
         "A500 B500 | ^ B500",
         stopped,
         ""},
        {"a pause holds the place until let go",
         {"A1000"},
         1,
         false,
         {{300, "pause"}, {400, "resume"}},
         "A300 | A700",
         stopped,
         ""},
        {"a seek goes to its place, the quiet at the start heard when asked for",
         {"q800 A1000 q300"},
         1,
         false,
         {{500, "seek 0.1"}},
         "q250 A250 ^ q700 A1000 q250",
         stopped,
         ""},
        {"a seek into the quiet at the end hears it to the end",
         {"A1000 q3000"},
         1,
         false,
         {{500, "seek 2"}},
         "A500 ^ q2000",
         stopped,
         ""},
        {"a seek past the end goes on with the next take",
         {"A1000", "B500"},
         2,
         false,
         {{500, "seek 9"}},
         "A500 ^ B500",
         stopped,
         ""},
        {"stop forgets the list: later takes are not played",
         {"A1000", "B500"},
         1,
         true,
         {{300, "stop"}, {400, "append 2"}},
         "A300 ^ |",
         stopped,
         ""},
        {"following live, takes that come are played as they come",
         {"A500", "B500", "C500"},
         1,
         true,
         {{900, "append 2"}, {2000, "append 3"}},
         "A500 | B500 | C500",
         waiting,
         ""},
        {"following live, takes that came during the list follow it at once",
         {"A500", "B500"},
         1,
         true,
         {{200, "append 2"}},
         "A500 B500",
         waiting,
         ""},
        {"not following, takes that come are not played",
         {"A500", "B500"},
         1,
         false,
         {{200, "append 2"}},
         "A500",
         stopped,
         ""},
        {"following turned on once the list ran out plays what came since",
         {"A500", "B500"},
         1,
         false,
         {{200, "append 2"}, {900, "follow"}},
         "A500 | B500",
         waiting,
         ""},
        {"following turned off while waiting ends the list",
         {"A500", "B500"},
         1,
         true,
         {{900, "unfollow"}, {1000, "append 2"}},
         "A500 | |",
         stopped,
         ""},
    };
}

class EngineRules : public ::testing::TestWithParam<EngineRow> {};

TEST_P(EngineRules, AreHeard) {
    const EngineRow& row = GetParam();
    PlayEngine engine(fake_opener(row.takes), testing::kFakeRate);
    engine.set_follow_live(row.follow);
    std::vector<PlayItem> items;
    for (int i = 1; i <= row.listed; ++i) {
        items.push_back({std::to_string(i) + ".wav", i});
    }
    engine.play(items);
    engine.take_jump();
    EXPECT_EQ(heard(engine, row.steps), row.heard);
    const PlayerState state = engine.state();
    EXPECT_EQ(state.mode, row.end_mode);
    EXPECT_EQ(state.index, -1);
    EXPECT_EQ(state.problem, row.problem);
}

INSTANTIATE_TEST_SUITE_P(Table, EngineRules, ::testing::ValuesIn(table()),
                         [](const ::testing::TestParamInfo<EngineRow>& info) {
                             std::string name = info.param.what;
                             for (char& c : name) {
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

}  // namespace
}  // namespace taperly
