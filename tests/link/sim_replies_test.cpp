#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/reply_fields.h"
#include "tools/simulator/scanner_replies.h"

namespace taperly::sim {
namespace {

struct StatusCase {
    const char* name;
    Moment moment;
    std::string reply;
};

class StatusReply : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusReply, HasTheBC246TLayout) {
    const std::string reply = status_reply(GetParam().moment);
    EXPECT_EQ(reply, GetParam().reply);
    // Read back the way Taperly reads it.
    const ReplyFields fields(reply);
    EXPECT_TRUE(is_status_reply(reply));
    EXPECT_EQ(fields.highest_index(), kStatusHighestIndex);
    EXPECT_EQ(fields.at(9), GetParam().moment.heard ? "0" : "1");
}

const std::string kMode(16, '_');
const std::string kIcons(16, ' ');

INSTANTIATE_TEST_SUITE_P(
    Moments, StatusReply,
    ::testing::Values(StatusCase{"Quiet",
                                 {1, "State Net", "SCAN", false, {}},
                                 "STS,State Net       ," + kMode + ",SCAN            ," + kMode +
                                     "," + kIcons + "," + kIcons + ",,0,1,3,0\r"},
                      StatusCase{"Heard",
                                 {1, "State Net", "North Ops", true, {}},
                                 "STS,State Net       ," + kMode + ",North Ops       ," + kMode +
                                     "," + kIcons + "," + kIcons + ",,1,0,3,0\r"},
                      StatusCase{"PromptLinesKeepTheirBlanks",
                                 {1, "Quick Freq Save?", " Press Any Key  ", false, {}},
                                 "STS,Quick Freq Save?," + kMode + ", Press Any Key  ," + kMode +
                                     "," + kIcons + "," + kIcons + ",,0,1,3,0\r"},
                      StatusCase{"BlankDisplay",
                                 {1, "", "", false, {}},
                                 "STS," + kIcons + "," + kMode + "," + kIcons + "," + kMode + "," +
                                     kIcons + "," + kIcons + ",,0,1,3,0\r"}),
    [](const ::testing::TestParamInfo<StatusCase>& info) { return info.param.name; });

TEST(StatusReplyLength, IsThe115BytesAScannerSends) {
    EXPECT_EQ(status_reply(Moment{}).size(), 115u);
}

// A run of commands, each with the moment current and the reception under
// way when it arrives, and the replies they get.
struct Exchange {
    const char* name;
    struct Turn {
        std::string command;
        Moment moment;
        std::uint64_t reception;
        std::string reply;
    };
    std::vector<Turn> turns;
};

class Responder : public ::testing::TestWithParam<Exchange> {};

TEST_P(Responder, AnswersEachCommandAsTheScannerDoes) {
    ScannerResponder responder;
    for (const auto& turn : GetParam().turns) {
        EXPECT_EQ(responder.answer(turn.command, turn.moment, turn.reception), turn.reply)
            << turn.command;
    }
}

const Identity kNames{"State Net", "North Area", "Ops", "TRK", "2412", false};
const Identity kNamesOnce{"State Net", "North Area", "Ops", "TRK", "2412", true};
const Moment kQuiet{1, "State Net", "SCAN", false, kNames};
const Moment kHeard{1, "State Net", "North Ops", true, kNames};
const Moment kHeardOnce{1, "State Net", "North Ops", true, kNamesOnce};
const Moment kHeardNameless{1, "State Net", "North Ops", true, {}};
const std::string kNamed = "GID,TRK,2412,0,State Net,North Area,Ops\r";
const std::string kEmpty = "GID,,,,,,\r";

INSTANTIATE_TEST_SUITE_P(
    Commands, Responder,
    ::testing::Values(Exchange{"StatusFollowsTheMoment",
                               {{"STS", kQuiet, 0, status_reply(kQuiet)},
                                {"STS", kHeard, 1, status_reply(kHeard)}}},
                      Exchange{"NamesWhileHeardOnly",
                               {{"GID", kQuiet, 0, kEmpty},
                                {"GID", kHeard, 1, kNamed},
                                {"GID", kHeard, 1, kNamed},
                                {"GID", kHeardNameless, 2, kEmpty}}},
                      Exchange{"OnceGivesNamesOncePerReception",
                               {{"GID", kHeardOnce, 1, kNamed},
                                {"GID", kHeardOnce, 1, kEmpty},
                                {"STS", kHeardOnce, 1, status_reply(kHeardOnce)},
                                {"GID", kHeardOnce, 1, kEmpty},
                                {"GID", kQuiet, 0, kEmpty},
                                {"GID", kHeardOnce, 2, kNamed},
                                {"GID", kHeardOnce, 2, kEmpty}}},
                      Exchange{
                          "KeysAreAcknowledged",
                          {{"KEY,E,P", kQuiet, 0, "KEY,OK\r"}, {"KEY,P,P", kQuiet, 0, "KEY,OK\r"}}},
                      Exchange{"AnythingElseIsAnError",
                               {{"", kQuiet, 0, "ERR\r"},
                                {"sts", kQuiet, 0, "ERR\r"},
                                {"\nSTS", kQuiet, 0, "ERR\r"},
                                {"STS ", kQuiet, 0, "ERR\r"},
                                {"KEY", kQuiet, 0, "ERR\r"}}}),
    [](const ::testing::TestParamInfo<Exchange>& info) { return info.param.name; });

}  // namespace
}  // namespace taperly::sim
