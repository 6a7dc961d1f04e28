#include "recorder/wave_recorder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "recorder/fake_input.h"
#include "recorder/recorder_orders.h"
#include "recorder/takes/take_file.h"
#include "recorder/takes/unfinished_takes.h"
#include "recorder/takes/wave_file_writer.h"
#include "recorder/wave_recorder_fixture.h"
#include "recorder/wave_test_support.h"
#include "support/temp_folder.h"

namespace taperly {
namespace {

using testing::FakeInput;
using testing::numbered_frames;
using testing::read_wave;
using testing::TempFolder;

TEST_F(WaveRecorderTest, FramesAcrossRepeatedOpenAndRecordAllLandInOrderOnce) {
    open_and_record(*recorder);
    input->deliver(numbered_frames(0, 100));
    open_and_record(*recorder);
    input->deliver(numbered_frames(100, 50));
    open_and_record(*recorder);
    input->deliver(numbered_frames(150, 25));
    input->pending = numbered_frames(175, 5);
    finish_take("take.wav");

    EXPECT_EQ(saved("take.wav"), numbered_frames(0, 180));
    EXPECT_EQ(input->starts, 1) << "a repeated Record restarted capture";
    EXPECT_EQ(folder.names(), std::vector<std::string>{"take.wav"});
}

// Each take's hidden file says when that take began, or nothing when it
// was not told.
TEST_F(WaveRecorderTest, EachTakeHoldsOnlyItsOwnSoundAndStart) {
    recorder->set_take_start("9-05-07-PM_12-05-2026");
    open_and_record(*recorder);
    input->deliver(numbered_frames(0, 40));
    ASSERT_EQ(folder.names().size(), 1u);
    EXPECT_EQ(hidden_take_start(folder.names()[0]), "9-05-07-PM_12-05-2026");
    finish_take("first.wav");
    input->deliver(numbered_frames(1000, 10));  // between takes: not recorded
    open_and_record(*recorder);
    input->deliver(numbered_frames(40, 30));
    ASSERT_EQ(folder.names().size(), 2u);
    EXPECT_EQ(hidden_take_start(folder.names()[0]), "");
    finish_take("second.wav");

    EXPECT_EQ(saved("first.wav"), numbered_frames(0, 40));
    EXPECT_EQ(saved("second.wav"), numbered_frames(40, 30));
}

// Each row: orders given in turn, the mode after each, and whether a file
// named "take.wav" exists at the end.
struct OrderRow {
    const char* name;
    std::vector<std::string> orders;
    std::vector<int> modes;
    bool saves;
};

void PrintTo(const OrderRow& row, std::ostream* out) {
    *out << row.name;
}

class OrderTable : public WaveRecorderTest, public ::testing::WithParamInterface<OrderRow> {};

TEST_P(OrderTable, ModesAndFiles) {
    const OrderRow& row = GetParam();
    recorder->setFileName("take.wav");
    std::vector<int> modes;
    for (const std::string& order : row.orders) {
        recorder->Command(order);
        input->deliver(numbered_frames(0, 8));
        modes.push_back(recorder->Mode());
    }
    EXPECT_EQ(modes, row.modes);
    EXPECT_EQ(read_wave(folder.file("take.wav")).readable, row.saves);
    recorder->Command("close");
    EXPECT_EQ(folder.names(),
              row.saves ? std::vector<std::string>{"take.wav"} : std::vector<std::string>{})
        << "a temporary file was left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Orders, OrderTable,
    ::testing::Values(OrderRow{"ClosedRecorderIgnoresStopSaveClose",
                               {"stop", "save", "close"},
                               {524, 524, 524},
                               false},
                      OrderRow{"RecordWithNothingOpen", {"Record", "save"}, {524, 524}, false},
                      // A take that holds no sound is no take: no empty file.
                      OrderRow{"OpenThenSave", {"Open", "save"}, {530, 530}, false},
                      OrderRow{"SecondOpenChangesNothing",
                               {"Open", "Record", "Open", "stop"},
                               {530, 527, 527, 525},
                               false},
                      OrderRow{"CloseWithoutSaveLeavesNoFile",
                               {"Open", "Record", "stop", "close", "save"},
                               {530, 527, 525, 524, 524},
                               false},
                      OrderRow{"UnknownOrdersAndWrongCaseIgnored",
                               {"open", "Open", "record", "Stop", "Save"},
                               {524, 530, 530, 530, 530},
                               false},
                      OrderRow{"RecordAgainAfterStop",
                               {"Open", "Record", "stop", "Record", "stop", "save"},
                               {530, 527, 525, 527, 525, 525},
                               true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WaveRecorderTest, RecordingAfterStopContinuesAtTheEnd) {
    open_and_record(*recorder);
    input->deliver(numbered_frames(0, 20));
    recorder->Command("stop");
    input->deliver(numbered_frames(500, 5));  // stopped: not recorded
    recorder->Command("Record");
    input->deliver(numbered_frames(20, 20));
    finish_take("take.wav");
    EXPECT_EQ(saved("take.wav"), numbered_frames(0, 40));
}

TEST_F(WaveRecorderTest, FileCreatedAfterTheExistenceCheckIsLeftUntouched) {
    open_and_record(*recorder);
    input->deliver(numbered_frames(0, 64));
    recorder->Command("stop");
    recorder->setFileName("take.wav");
    folder.write("take.wav", "someone else's bytes");
    recorder->Command("save");
    recorder->Command("close");
    EXPECT_EQ(folder.read("take.wav"), "someone else's bytes");
    EXPECT_EQ(folder.names(), std::vector<std::string>{"take.wav"});
}

TEST_F(WaveRecorderTest, NamesThatLeaveTheTakesFolderSaveNothing) {
    for (const std::string name : {"", ".", "..", "../escaped.wav", "sub/take.wav", "/tmp/x.wav"}) {
        open_and_record(*recorder);
        input->deliver(numbered_frames(0, 8));
        finish_take(name);
        EXPECT_TRUE(folder.names().empty()) << name;
    }
}

TEST_F(WaveRecorderTest, WarmUpLeavesNothingOpenAndNoFile) {
    input->pending = numbered_frames(0, 30);
    warm_up_recorder(*recorder);
    EXPECT_EQ(recorder->Mode(), kModeNotOpen);
    EXPECT_EQ(recorder->FileName(), "start.wav");
    recorder->Command("stop");
    recorder->Command("save");
    recorder->Command("close");
    EXPECT_TRUE(folder.names().empty());
}

TEST_F(WaveRecorderTest, NoInputRefusesOpenSilently) {
    input->present = false;
    open_and_record(*recorder);
    EXPECT_EQ(recorder->Mode(), kModeNotOpen);
    finish_take("take.wav");
    EXPECT_TRUE(folder.names().empty());
}

TEST_F(WaveRecorderTest, CaptureThatDiesKeepsTheTakeAndResumesOnRecord) {
    open_and_record(*recorder);
    input->deliver(numbered_frames(0, 30));
    input->die();
    EXPECT_EQ(recorder->Mode(), kModeStopped);
    input->fail_start = true;
    open_and_record(*recorder);  // the server is still gone
    input->fail_start = false;
    open_and_record(*recorder);  // and back again
    input->deliver(numbered_frames(30, 10));
    EXPECT_EQ(recorder->Mode(), kModeRecording);
    finish_take("take.wav");
    EXPECT_EQ(saved("take.wav"), numbered_frames(0, 40));
}

TEST_F(WaveRecorderTest, ASavedTakeNeverChangesAfterwards) {
    open_and_record(*recorder);
    input->deliver(numbered_frames(0, 10));
    recorder->Command("stop");
    recorder->setFileName("one.wav");
    recorder->Command("save");
    recorder->Command("Record");
    input->deliver(numbered_frames(10, 10));
    finish_take("two.wav");
    EXPECT_EQ(saved("one.wav"), numbered_frames(0, 10));
}

TEST_F(WaveRecorderTest, DestroyingAnOpenRecorderStopsCaptureAndLeavesNoFile) {
    open_and_record(*recorder);
    input->deliver(numbered_frames(0, 10));
    ASSERT_EQ(folder.names().size(), 1u) << "the take is not streamed to disk";
    recorder.reset();
    EXPECT_TRUE(folder.names().empty());
}

TEST_F(WaveRecorderTest, UnsavedTakeIsAPlayableFileWhileRecording) {
    open_and_record(*recorder);
    input->deliver(numbered_frames(0, 300));
    input->deliver(numbered_frames(300, 200));
    ASSERT_EQ(folder.names().size(), 1u);
    EXPECT_TRUE(testing::wave_header_matches_length(folder.file(folder.names().front())));
    EXPECT_EQ(saved(folder.names().front()), numbered_frames(0, 500));
}

TEST_F(WaveRecorderTest, ASaveThatFailsKeepsTheTakeHiddenForTheNextStart) {
    recorder->set_take_start("9-05-07-PM_12-05-2026");
    open_and_record(*recorder);
    input->deliver(numbered_frames(0, 300));
    finish_take(std::string(300, 'a') + ".wav");  // longer than a name may be
    // In the C library's own words, which differ between systems.
    EXPECT_EQ(recorder->storage().save_failure.reason, std::strerror(ENAMETOOLONG));
    ASSERT_EQ(folder.names().size(), 1u) << "the take was not kept";
    EXPECT_EQ(recover_unfinished_takes(folder.path()),
              std::vector<std::string>{"unfinished_9-05-07-PM_12-05-2026.wav"});
    EXPECT_EQ(saved("unfinished_9-05-07-PM_12-05-2026.wav"), numbered_frames(0, 300));

    open_and_record(*recorder);
    input->deliver(numbered_frames(0, 10));
    finish_take("next.wav");
    EXPECT_TRUE(recorder->storage().save_failure.empty()) << "a saved take ends the failure";
}

TEST_F(WaveRecorderTest, NoTakeIsBegunWhileTheDiskIsFullAndOneIsOnceThereIsRoom) {
    std::int64_t free_bytes = kFullBelowBytes - 1;
    auto owned_input = std::make_unique<FakeInput>();
    input = owned_input.get();
    recorder = std::make_unique<WaveRecorder>(
        std::move(owned_input), std::make_unique<WaveFileWriter>(folder.path()), PreRollSettings{},
        RoomWatch(folder.path(), [&](const std::string&) { return free_bytes; }));
    recorder->listen_between_takes(std::chrono::milliseconds(0));
    EXPECT_TRUE(recorder->storage().disk_full);
    open_and_record(*recorder);
    input->deliver(numbered_frames(0, 100));
    EXPECT_EQ(recorder->trouble().kind, RecorderTrouble::Kind::kDiskFull);
    EXPECT_TRUE(folder.names().empty()) << "a take was begun on a full disk";
    finish_take("while_full.wav");
    EXPECT_TRUE(folder.names().empty());

    free_bytes = kFullBelowBytes;  // a file was removed
    open_and_record(*recorder);
    input->deliver(numbered_frames(0, 100));
    finish_take("room_again.wav");
    EXPECT_FALSE(recorder->storage().disk_full);
    EXPECT_EQ(saved("room_again.wav"), numbered_frames(0, 100));
}

TEST_F(WaveRecorderTest, ASplitTakeGoesOnInANewFileFromTheNextSample) {
    open_and_record(*recorder);
    input->deliver(numbered_frames(0, 100));
    input->pending = numbered_frames(100, 20);  // captured, not yet handed over
    recorder->setFileName("first.wav");
    recorder->split_take(true, "10-00-00-AM_12-05-2026");
    const std::vector<std::string> hidden = [&] {
        std::vector<std::string> names = folder.names();
        std::erase(names, "first.wav");
        return names;
    }();
    ASSERT_EQ(hidden.size(), 1u);
    EXPECT_EQ(hidden_take_start(hidden[0]), "10-00-00-AM_12-05-2026");
    open_and_record(*recorder);
    input->deliver(numbered_frames(120, 50));
    finish_take("second.wav");
    EXPECT_EQ(saved("first.wav"), numbered_frames(0, 120));
    EXPECT_EQ(saved("second.wav"), numbered_frames(120, 50));
    EXPECT_EQ(input->starts, 1) << "capture was restarted between the parts";
}

}  // namespace
}  // namespace taperly
