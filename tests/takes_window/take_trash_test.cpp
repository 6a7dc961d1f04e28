// Moving a take to the trash from the Takes window, on the desktop's real
// trash: the freedesktop.org layout under XDG_DATA_HOME, and a `removed`
// row in the log.
#include <gtest/gtest.h>

#include <QItemSelectionModel>
#include <QTableView>
#include <QTest>
#include <filesystem>

#include "archive/archive_fixture.h"
#include "archive/log_stream.h"
#include "fake_player.h"
#include "support/environment.h"
#include "takes_window/qt_trash.h"
#include "takes_window/takes_model.h"
#include "takes_window/takes_window.h"
#include "tracking/take_log_file.h"

namespace taperly::testing {
namespace {

// HOME and XDG_DATA_HOME of this test only.
class Home {
  public:
    explicit Home(const std::string& home) {
        const char* was = std::getenv("HOME");
        was_ = was != nullptr ? was : "";
        set_environment("HOME", home);
        set_environment("XDG_DATA_HOME", home + "/data");
    }
    ~Home() {
        set_environment("HOME", was_);
        unset_environment("XDG_DATA_HOME");
    }
    Home(const Home&) = delete;
    Home& operator=(const Home&) = delete;

  private:
    std::string was_;
};

TEST(TakeTrash, ATakeGoesToTheDesktopsTrashWithARemovedRow) {
    TempFolder home;
    TempFolder folder;
    TempFolder cache;
    // Qt puts a file in the home trash when it lies on home's volume; the
    // data folder is not made yet, as on a fresh account.
    const Home trash_home(home.path());
    const std::string take = "State-Net_North-Area_Ops_9-05-07-PM_9-05-09-PM_12-05-2026.wav";
    folder.write("takes.csv", log_of({saved_row("kept.wav", "2026-12-05T20:00:00-05:00", 1),
                                      saved_row(take, "2026-12-05T21:05:07-05:00", 2,
                                                texts("State Net", "North Area", "Ops"))}));
    folder.write("kept.wav", wave_take({}, 22050));
    folder.write(take, wave_take({}, 44100));
    const std::string bytes = folder.read(take);
    TakeLogListeners log(std::make_unique<TakeLogFile>(folder.path()));
    FakePlayer player;
    TakesWindowParts parts;
    parts.folder = folder.path();
    parts.index_path = cache.file("index.sqlite");
    parts.log = &log;
    parts.player = &player;
    parts.zone = std::make_shared<NewYorkishZone>();
    parts.trash = std::make_shared<QtTrash>();
    parts.now = [] { return at("2026-12-06T12:00:00-05:00"); };
    parts.now_seconds = [] { return utc_at("2026-12-06T12:00:00-05:00"); };
    TakesWindow window(std::move(parts));
    QString asked;
    window.confirm = [&asked](const QString& question) {
        asked = question;
        return true;
    };
    window.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.model().take_at(0) != nullptr; }));
    ASSERT_EQ(window.model().take_at(0)->facts.file_name, take);
    auto* table = window.findChild<QTableView*>("Takes");
    table->selectRow(0);

    QTest::keyClick(table, Qt::Key_Delete);

    EXPECT_EQ(asked.toStdString(), "Move " + take + " to the trash?");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.model().rowCount() == 1; }));
    EXPECT_FALSE(std::filesystem::exists(folder.file(take)));
    const std::string trash = home.path() + "/data/Trash";
    std::ifstream trashed(trash + "/files/" + take, std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(trashed), {}) == bytes);
    EXPECT_TRUE(std::filesystem::exists(trash + "/info/" + take + ".trashinfo"));
    LogStream rows(folder.file("takes.csv"), 0);
    std::optional<TakeLogEntry> last;
    while (auto row = rows.next()) {
        last = row;
    }
    ASSERT_TRUE(last);
    EXPECT_EQ(last->outcome, TakeOutcome::kRemoved);
    EXPECT_EQ(last->file_name, take);
    EXPECT_EQ(window.model().take_at(0)->facts.file_name, "kept.wav");
}

}  // namespace
}  // namespace taperly::testing
