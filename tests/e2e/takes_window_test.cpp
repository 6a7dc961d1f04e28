// The Takes window over takes the program itself records, on the real
// window, serial line and recorder: a take saved while it is open appears
// at the top, the take selected stays selected, and a take being recorded
// is not listed until it is saved.
#include <gtest/gtest.h>

#include <QItemSelectionModel>
#include <QTableView>

#include "archive/archived_take.h"
#include "e2e/e2e_test.h"
#include "takes_window/takes_model.h"
#include "takes_window/takes_window.h"

namespace taperly::e2e {
namespace {

class TakesWindowOnRealParts : public E2eTest {};

TEST_F(TakesWindowOnRealParts, ATakeSavedWhileItIsOpenAppears) {
    testing::TempFolder folder;
    testing::TempFolder cache;
    start(
        "0.4 | State Net | SCAN | no\n"
        "1.5 | State Net | North Ops | yes | State Net | North Area | Ops\n"
        "0.8 | State Net | SCAN | no\n"
        "1.5 | Fire Net | Dispatch | yes | Fire Net | Central | Fire Dispatch\n"
        "0.5 | State Net | SCAN | no\n");
    E2eWindow window(folder.path(), kFastSpeed, {}, cache.path());
    window.click_run_stop();
    ASSERT_EQ(window.caption(), "Stop") << window.status();
    ASSERT_TRUE(window.follow_take(on_test_day(21, 5, 7), on_test_day(21, 5, 9)));

    window.form().open_takes();
    TakesWindow& takes = *window.form().takes_window();
    TakesModel& model = takes.model();
    const auto name_at = [&model](int row) {
        const ArchivedTake* take = model.take_at(row);
        return take != nullptr ? take->facts.file_name : std::string();
    };
    const std::string first = "State-Net_North-Area_Ops_9-05-07-PM_9-05-09-PM_12-05-2026.wav";
    ASSERT_TRUE(E2eWindow::wait_for([&] { return model.rowCount() == 1 && name_at(0) == first; }));
    const ArchivedTake listed = *model.take_at(0);
    EXPECT_EQ(listed.facts.texts.talkgroup, "Ops");
    EXPECT_EQ(listed.facts.texts.system, "State Net");
    EXPECT_TRUE(listed.present);
    auto* table = takes.findChild<QTableView*>("Takes");
    table->selectRow(0);

    bool listed_while_recorded = false;
    ASSERT_TRUE(window.follow_take(on_test_day(21, 10, 0), on_test_day(21, 10, 2), [&] {
        listed_while_recorded |= window.take_in_progress() && model.rowCount() != 1;
    }));
    EXPECT_FALSE(listed_while_recorded);
    const std::string second =
        "Fire-Net_Central_Fire-Dispatch_9-10-00-PM_9-10-02-PM_12-05-2026.wav";
    ASSERT_TRUE(E2eWindow::wait_for([&] { return model.rowCount() == 2 && name_at(0) == second; }));
    EXPECT_EQ(name_at(1), first);
    const QModelIndexList selected = table->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.front().row(), 1);
    window.click_run_stop();
}

}  // namespace
}  // namespace taperly::e2e
