#include <gtest/gtest.h>

#include "tracker_fixture.h"

namespace taperly {
namespace {

struct IdentityCase {
    const char* name;
    std::string reply;
    bool take_in_progress;
    std::string system, group, talkgroup;
    // The talkgroup's number from field 2, kept and cleared with the names.
    std::string number;
};

class IdentityReply : public testing::TrackerTest,
                      public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(IdentityReply, FillsTheNamesFromFieldsFourToSix) {
    const IdentityCase& c = GetParam();
    tracker.state().gid_system_name = "Old";
    tracker.state().gid_group_name = "Old";
    tracker.state().gid_tg_name = "Old";
    tracker.state().gid_tg_id = "99";
    if (c.take_in_progress) {
        tracker.state().Label7 = "9:05:07 PM";
    }
    tracker.handle_identity_reply(c.reply);
    EXPECT_EQ(tracker.state().gid_system_name, c.system);
    EXPECT_EQ(tracker.state().gid_group_name, c.group);
    EXPECT_EQ(tracker.state().gid_tg_name, c.talkgroup);
    EXPECT_EQ(tracker.state().gid_tg_id, c.number);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, IdentityReply,
    ::testing::Values(
        IdentityCase{"names", "GID,x,1234,y,Metro,Fire,Dispatch\r", false, "Metro", "Fire",
                     "Dispatch", "1234"},
        IdentityCase{"status_glued_behind", "GID,x,1234,y,Metro,Fire,Dispatch\rSTS", false, "Metro",
                     "Fire", "Dispatch", "1234"},
        IdentityCase{"status_letters_inside_name", "GID,x,1,y,A,B,ESTSX\r", false, "A", "B", "EX",
                     "1"},
        IdentityCase{"no_trimming", "GID,x,1,y, Metro , Fire ,Ops \r", false, " Metro ", " Fire ",
                     "Ops ", "1"},
        IdentityCase{"number_padded", "GID,x, 00420 ,y,Metro,Fire,Ops\r", false, "Metro", "Fire",
                     "Ops", "420"},
        IdentityCase{"number_zero", "GID,x,000,y,Metro,Fire,Ops\r", false, "Metro", "Fire", "Ops",
                     ""},
        IdentityCase{"number_of_another_shape", "GID,x,02-034,y,Metro,Fire,Ops\r", false, "Metro",
                     "Fire", "Ops", ""},
        IdentityCase{"number_with_letters", "GID,x,12a,y,Metro,Fire,Ops\r", false, "Metro", "Fire",
                     "Ops", ""},
        IdentityCase{"empty_system_name", "GID,x,1,y,,Fire,Dispatch\r", false, "", "Fire",
                     "Dispatch", "1"},
        IdentityCase{"too_short", "GID,x,1,y,Metro,Fire\r", false, "Old", "Old", "Old", "99"},
        IdentityCase{"empty_between_takes", "GID,,,,,,\r", false, "", "", "", ""},
        IdentityCase{"empty_during_take", "GID,,,,,,\r", true, "Old", "Old", "Old", "99"},
        IdentityCase{"partly_empty_during_take", "GID,,,,,,TG\r", true, "", "", "TG", ""},
        IdentityCase{"more_fields_of_other_models", "GID,x,1,y,Metro,Fire,Dispatch,7,8\r", false,
                     "Metro", "Fire", "Dispatch", "1"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace taperly
