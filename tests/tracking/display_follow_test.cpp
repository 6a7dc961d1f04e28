#include <gtest/gtest.h>

#include "tracker_fixture.h"

namespace taperly {
namespace {

using DisplayFollow = testing::TrackerTest;
using testing::status_reply;

std::vector<std::string> key_presses(const std::vector<std::string>& commands) {
    std::vector<std::string> keys;
    for (const std::string& command : commands) {
        if (command.rfind("KEY,", 0) == 0) {
            keys.push_back(command);
        }
    }
    return keys;
}

TEST_F(DisplayFollow, QuickFreqSaveIsAnsweredOnEveryReplyShowingItExactly) {
    for (int i = 0; i < 3; ++i) {
        receive(status_reply("Quick Freq Save?", "x"));
    }
    receive(status_reply("quick freq save?", "x"));
    receive(status_reply(" Quick Freq Save?", "x"));
    EXPECT_EQ(key_presses(port.commands),
              (std::vector<std::string>{"KEY,P,P", "KEY,P,P", "KEY,P,P"}));
}

TEST_F(DisplayFollow, PressAnyKeyIsAnsweredOncePerTake) {
    receive(status_reply("a", "Fire"));
    for (int i = 0; i < 4; ++i) {
        receive(status_reply("a", " Press Any Key  ", "0"));
    }
    EXPECT_EQ(key_presses(port.commands), std::vector<std::string>{"KEY,E,P"});
}

TEST_F(DisplayFollow, PressAnyKeyAnsweredJustBeforeATakeIsNotAnsweredDuringIt) {
    receive(status_reply("a", " Press Any Key  ", "1"));
    for (int i = 0; i < 3; ++i) {
        receive(status_reply("a", " Press Any Key  ", "0"));
    }
    EXPECT_EQ(key_presses(port.commands), std::vector<std::string>{"KEY,E,P"});
}

TEST_F(DisplayFollow, PressAnyKeyBetweenTakesIsAnsweredEveryTime) {
    for (int i = 0; i < 4; ++i) {
        receive(status_reply("a", " Press Any Key  ", "1"));
    }
    receive(status_reply("a", "Press Any Key", "1"));
    EXPECT_EQ(key_presses(port.commands), std::vector<std::string>(4, "KEY,E,P"));
}

TEST_F(DisplayFollow, BothPromptsInOneReplyAnswerQuickFreqSaveFirst) {
    receive(status_reply("Quick Freq Save?", " Press Any Key  "));
    EXPECT_EQ(port.written, "KEY,P,P\rKEY,E,P\r");
}

TEST_F(DisplayFollow, MirrorKeepsTheScannersSpacesAndTheMinimisedTitleTrimsThem) {
    window.minimised = true;
    receive("STS,  Metro Fire    ,,Dispatch 1      ,,,,,0,1,3,0\r");
    EXPECT_EQ(window.mirror, "  Metro Fire    \r\nDispatch 1      \r\n");
    EXPECT_EQ(window.title, "Metro Fire/Dispatch 1");
    receive("STS,    ,,,,,,,0,1,3,0\r");
    EXPECT_EQ(window.title, "/");
    window.minimised = false;
    receive(status_reply("a", "b"));
    EXPECT_EQ(window.title, "Taperly");
}

TEST_F(DisplayFollow, IdentityRepliesLeaveMirrorAndTitleAlone) {
    window.minimised = true;
    receive("GID,x,1,y,Metro,Fire,Dispatch\r");
    EXPECT_TRUE(window.titles.empty());
    EXPECT_EQ(window.mirror, "");
}

}  // namespace
}  // namespace taperly
