#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/simulator/byte_escapes.h"
#include "tools/simulator/scenario.h"
#include "tools/simulator/timeline.h"

namespace taperly::sim {

void PrintTo(const Moment& moment, std::ostream* out) {
    *out << moment.seconds << " | " << moment.line1 << " | " << moment.line2 << " | "
         << (moment.heard ? "yes" : "no") << " | " << moment.identity.system << " | "
         << moment.identity.group << " | " << moment.identity.talkgroup << " | "
         << (moment.identity.once ? "once " : "") << "tgid=" << moment.identity.tgid
         << " type=" << moment.identity.type;
}
void PrintTo(const RawBytes& raw, std::ostream* out) {
    *out << "raw " << escape_bytes(raw.bytes);
}
void PrintTo(const CloseLine&, std::ostream* out) {
    *out << "close";
}
void PrintTo(const Silence& step, std::ostream* out) {
    *out << "silent " << step.seconds;
}
void PrintTo(const Unplug& step, std::ostream* out) {
    *out << "unplug " << step.seconds;
}
void PrintTo(const RemoteSpeed& step, std::ostream* out) {
    *out << "speed " << step.bits_per_second;
}

namespace {

Moment moment(double seconds, std::string line1, std::string line2, bool heard,
              Identity identity = {"", "", "", "TRK", "0", false}) {
    return Moment{seconds, std::move(line1), std::move(line2), heard, std::move(identity)};
}

struct ParseCase {
    const char* name;
    std::string text;
    std::vector<Step> steps;
};

class ScenarioParsing : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ScenarioParsing, ReadsEveryStep) {
    EXPECT_EQ(parse_scenario(GetParam().text), GetParam().steps);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ScenarioParsing,
    ::testing::Values(
        ParseCase{"Empty", "", {}},
        ParseCase{"CommentsAndBlankLines", "# a call\n\n   \n  # more\n", {}},
        ParseCase{
            "QuietMoment", "2 | State Net | SCAN | no\n", {moment(2, "State Net", "SCAN", false)}},
        ParseCase{"NoFinalNewlineAndWindowsLineEnds",
                  "0.5|A|B|yes\r\n1.25 | C | D | no",
                  {moment(0.5, "A", "B", true), moment(1.25, "C", "D", false)}},
        ParseCase{"QuotedTextKeepsItsBlanks",
                  "1 | \"Quick Freq Save?\" | \" Press Any Key  \" | no\n",
                  {moment(1, "Quick Freq Save?", " Press Any Key  ", false)}},
        ParseCase{"EmptyLines", "1 | | \"\" | no\n", {moment(1, "", "", false)}},
        ParseCase{"Names",
                  "3.5 | State Net | North Ops | yes | State Net | North Area | Ops\n",
                  {moment(3.5, "State Net", "North Ops", true,
                          {"State Net", "North Area", "Ops", "TRK", "0", false})}},
        ParseCase{"NamesWithOptions",
                  "1 | a | b | yes | S | G | T | once tgid=2412 type=EDC\n",
                  {moment(1, "a", "b", true, {"S", "G", "T", "EDC", "2412", true})}},
        ParseCase{"RawKeepsBlanksAndEscapes",
                  "raw  STS,Half\\0\\x7F\\r\n",
                  {RawBytes{std::string(" STS,Half\0\x7F\r", 12)}}},
        ParseCase{"CloseAfterAMoment",
                  "1 | a | b | no\n  close  \n",
                  {moment(1, "a", "b", false), CloseLine{}}},
        ParseCase{"Faults",
                  "silent 5\n  unplug 0.5 \nspeed 57600\nspeed\n",
                  {Silence{5}, Unplug{0.5}, RemoteSpeed{57600}, RemoteSpeed{kPacedSpeed}}},
        ParseCase{"SixteenCharactersFit",
                  "1 | 0123456789ABCDEF | b | no\n",
                  {moment(1, "0123456789ABCDEF", "b", false)}}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return info.param.name; });

struct BadScenario {
    const char* name;
    std::string text;
    // Words the error must hold, the line number first.
    std::vector<std::string> words;
};

class ScenarioErrors : public ::testing::TestWithParam<BadScenario> {};

TEST_P(ScenarioErrors, NameTheLineAndTheFault) {
    try {
        parse_scenario(GetParam().text);
        FAIL() << "accepted";
    } catch (const ScenarioError& error) {
        for (const std::string& word : GetParam().words) {
            EXPECT_NE(std::string(error.what()).find(word), std::string::npos) << error.what();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ScenarioErrors,
    ::testing::Values(
        BadScenario{"TooFewFields", "1 | a | b\n", {"line 1", "3"}},
        BadScenario{"FiveFields", "# c\n1 | a | b | no | S\n", {"line 2", "5"}},
        BadScenario{"NotANumber", "soon | a | b | no\n", {"line 1", "soon"}},
        BadScenario{"NumberWithTail", "2s | a | b | no\n", {"line 1", "2s"}},
        BadScenario{"ZeroDuration", "0 | a | b | no\n", {"line 1", "more than 0"}},
        BadScenario{"NegativeDuration", "-1 | a | b | no\n", {"line 1", "more than 0"}},
        BadScenario{"EndlessDuration", "inf | a | b | no\n", {"line 1", "more than 0"}},
        BadScenario{"UnknownFlag", "1 | a | b | maybe\n", {"line 1", "maybe"}},
        BadScenario{"LineTooLong", "1 | 0123456789ABCDEFG | b | no\n", {"line 1", "16"}},
        BadScenario{"UnknownOption", "1 | a | b | yes | S | G | T | twice\n", {"line 1", "twice"}},
        BadScenario{"BadEscape", "\nraw AB\\q\n", {"line 2", "\\q"}},
        BadScenario{"ShortHexEscape", "raw \\x4\n", {"line 1", "two hex digits"}},
        BadScenario{"TrailingBackslash", "raw AB\\\n", {"line 1", "backslash"}},
        BadScenario{"RawWithoutBytes", "raw\n", {"line 1", "at least one byte"}},
        BadScenario{"CloseWithWords", "close now\n", {"line 1", "close"}},
        BadScenario{"SilentForNoTime", "silent\n", {"line 1", "not a number"}},
        BadScenario{"UnplugForever", "unplug 0\n", {"line 1", "more than 0"}},
        BadScenario{"SpeedInWords", "speed fast\n", {"line 1", "fast"}}),
    [](const ::testing::TestParamInfo<BadScenario>& info) { return info.param.name; });

TEST(ByteEscapes, EveryByteReadsBackAsItWasWritten) {
    std::string every_byte;
    for (int value = 0; value < 256; ++value) {
        every_byte.push_back(static_cast<char>(value));
    }
    const std::string escaped = escape_bytes(every_byte);
    EXPECT_EQ(escaped.find_first_of("\r\n\t", 0), std::string::npos);
    EXPECT_EQ(unescape_bytes(escaped), every_byte);
    EXPECT_EQ(escape_bytes(std::string("STS\r\0\\\x80", 7)), "STS\\r\\0\\\\\\x80");
}

// What the timeline shows at each of a series of elapsed times.
struct TimelineCase {
    const char* name;
    std::string scenario;
    bool loop;
    struct At {
        double elapsed;
        std::string line1;
        std::string raw;
        bool close;
    };
    std::vector<At> checks;
};

class TimelinePlay : public ::testing::TestWithParam<TimelineCase> {};

TEST_P(TimelinePlay, ShowsTheRightMomentAndReachesEachStepOnce) {
    Timeline timeline(parse_scenario(GetParam().scenario), GetParam().loop);
    for (const auto& check : GetParam().checks) {
        const Timeline::Reached reached = timeline.advance_to(check.elapsed);
        EXPECT_EQ(timeline.current().line1, check.line1) << "at " << check.elapsed;
        EXPECT_EQ(reached.raw, check.raw) << "at " << check.elapsed;
        EXPECT_EQ(reached.close, check.close) << "at " << check.elapsed;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, TimelinePlay,
    ::testing::Values(
        TimelineCase{"HoldsTheLastMoment",
                     "1 | one | x | no\n2 | two | x | no\n",
                     false,
                     {{0, "one", "", false},
                      {0.99, "one", "", false},
                      {1, "two", "", false},
                      {50, "two", "", false}}},
        TimelineCase{"LoopsFromTheTop",
                     "1 | one | x | no\n2 | two | x | no\n",
                     true,
                     {{0.5, "one", "", false},
                      {2.5, "two", "", false},
                      {3.2, "one", "", false},
                      {4.5, "two", "", false}}},
        TimelineCase{"RawOnceWhenReached",
                     "1 | one | x | no\nraw AB\n1 | two | x | no\n",
                     false,
                     {{0.5, "one", "", false}, {1.5, "two", "AB", false}, {5, "two", "", false}}},
        TimelineCase{"SkippedPastStepsStillHappenInOrder",
                     "1 | one | x | no\nraw A\n1 | two | x | no\nraw B\n1 | three | x | no\n",
                     false,
                     {{10, "three", "AB", false}}},
        TimelineCase{"NothingAfterClose",
                     "1 | one | x | no\nclose\nraw A\n1 | two | x | no\n",
                     false,
                     {{0.2, "one", "", false}, {1.2, "one", "", true}, {9, "one", "", false}}},
        TimelineCase{"DirectivesAloneDoNotLoopForever",
                     "raw A\n",
                     true,
                     {{0, "", "A", false}, {9, "", "", false}}}),
    [](const ::testing::TestParamInfo<TimelineCase>& info) { return info.param.name; });

// Silence holds the moment before it and ends with the next; a pulled line
// is reached once; the remote speed holds until changed.
TEST(TimelineFaults, SilenceUnplugAndSpeedTakeEffectWhenReached) {
    Timeline timeline(
        parse_scenario("speed 9600\n1 | one | x | yes\nsilent 2\n"
                       "1 | two | x | no\nunplug 3\nspeed 57600\n1 | three | x | no\n"),
        false);
    struct At {
        double elapsed;
        std::string line1;
        bool silent;
        int speed;
        std::optional<double> unplug;
    };
    for (const At& at : std::vector<At>{{0.5, "one", false, 9600, {}},
                                        {1.5, "one", true, 9600, {}},
                                        {3.5, "two", false, 9600, {}},
                                        {4.5, "two", false, 9600, 3.0},
                                        {5.0, "two", false, 9600, {}},
                                        {7.5, "three", false, 57600, {}}}) {
        const Timeline::Reached reached = timeline.advance_to(at.elapsed);
        EXPECT_EQ(timeline.current().line1, at.line1) << "at " << at.elapsed;
        EXPECT_EQ(timeline.silent(), at.silent) << "at " << at.elapsed;
        EXPECT_EQ(timeline.remote_speed(), at.speed) << "at " << at.elapsed;
        EXPECT_EQ(reached.unplug, at.unplug) << "at " << at.elapsed;
        EXPECT_TRUE(timeline.current().heard == (at.line1 == "one")) << "at " << at.elapsed;
    }
}

TEST(TimelineReceptions, StartAfterQuietOrWithNewNames) {
    Timeline timeline(parse_scenario("1 | a | b | yes | S | G | T\n"
                                     "1 | a | b | yes | S | G | T\n"
                                     "1 | a | b | no\n"
                                     "1 | a | b | yes | S | G | T\n"
                                     "1 | a | b | yes | S | G | U\n"),
                      false);
    std::vector<std::uint64_t> receptions;
    for (double elapsed : {0.5, 1.5, 2.5, 3.5, 4.5}) {
        timeline.advance_to(elapsed);
        receptions.push_back(timeline.reception());
    }
    EXPECT_EQ(receptions, (std::vector<std::uint64_t>{1, 1, 0, 2, 3}));
}

}  // namespace
}  // namespace taperly::sim
