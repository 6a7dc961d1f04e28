// The Takes window over a real index and takes folder, wired to a player
// that logs what it is asked: playing, following live, the controls, a take
// saved while it is open, and stars kept across a restart.
#include "takes_window/takes_window.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <functional>
#include <memory>

#include "archive/archive_fixture.h"
#include "fake_player.h"
#include "takes_window/takes_model.h"
#include "tracking/take_log_file.h"

namespace taperly::testing {
namespace {

constexpr const char* kNoon = "2026-12-06T12:00:00-05:00";

class TakesWindowTest : public ::testing::Test {
  public:
    void SetUp() override {
        const TakeLogEntry fire = texts("Metro", "", "Fire Dispatch");
        folder.write(
            "takes.csv",
            log_of({
                saved_row("e.wav", "2026-12-06T06:00:00-05:00", 1, fire),
                saved_row("d.wav", "2026-12-06T07:00:00-05:00", 1, fire),
                saved_row("c.wav", "2026-12-06T08:00:00-05:00", 1, texts("Metro", "", "EMS 1")),
                saved_row("b.wav", "2026-12-06T09:00:00-05:00", 1, texts("Metro", "", "Fire Ops")),
                saved_row("a.wav", "2026-12-06T10:00:00-05:00", 1, fire),
            }));
        for (const char* name : {"a.wav", "b.wav", "c.wav", "e.wav"}) {
            folder.write(name, wave_take({}, 22050));
        }
    }

    // The window over the folder, once it lists `rows` takes.
    TakesWindow& open(int rows = 5) {
        window.reset();
        TakesWindowParts parts;
        parts.folder = folder.path();
        parts.index_path = cache.file("index.sqlite");
        parts.log = &log;
        parts.player = &player;
        parts.zone = std::make_shared<NewYorkishZone>();
        parts.now = [] { return at(kNoon); };
        parts.now_seconds = [] { return utc_at(kNoon); };
        parts.locale = QLocale(QLocale::English, QLocale::UnitedStates);
        window = std::make_unique<TakesWindow>(std::move(parts));
        window->show();
        // Its keys are heard by the active window, which offscreen windows
        // under Wine never become by themselves.
        QApplication::setActiveWindow(window.get());
        EXPECT_TRUE(QTest::qWaitFor([&] { return listed() == rows && name_at(0) != ""; }))
            << listed();
        return *window;
    }
    int listed() { return window->model().rowCount(); }
    std::string name_at(int row) {
        const ArchivedTake* take = window->model().take_at(row);
        return take != nullptr ? take->facts.file_name : "";
    }
    template <typename W>
    W* child(const char* name) {
        W* widget = window->findChild<W*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QTableView* table() { return child<QTableView>("Takes"); }
    void select(std::initializer_list<int> rows) {
        table()->clearSelection();
        for (const int row : rows) {
            table()->selectionModel()->select(
                window->model().index(row, 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
            table()->selectionModel()->setCurrentIndex(window->model().index(row, 0),
                                                       QItemSelectionModel::NoUpdate);
        }
    }
    void search(const QString& words, int rows) {
        child<QLineEdit>("Search")->setText(words);
        EXPECT_TRUE(QTest::qWaitFor([&] { return listed() == rows && name_at(0) != ""; }));
    }
    void click(const char* name) { QTest::mouseClick(child<QWidget>(name), Qt::LeftButton); }
    // Waits until the player has been asked `calls`.
    bool asked(const std::vector<std::string>& calls) {
        return QTest::qWaitFor([&] { return player.calls == calls; }, 3000);
    }

    TempFolder folder;
    TempFolder cache;
    TakeLogListeners log{std::make_unique<TakeLogFile>(folder.path())};
    FakePlayer player;
    std::unique_ptr<TakesWindow> window;
};

struct WiringCase {
    const char* what;
    std::function<void(TakesWindowTest&)> act;
    std::vector<std::string> calls;
};

TEST_F(TakesWindowTest, ControlsAskThePlayer) {
    const auto playing = [](PlayerState::Mode mode) {
        return [mode](TakesWindowTest& test) { test.player.now.mode = mode; };
    };
    const std::vector<WiringCase> cases = {
        {"Enter plays the take selected",
         [](TakesWindowTest& t) {
             t.select({1});
             QTest::keyClick(t.table(), Qt::Key_Return);
         },
         {"no follow live", "play b.wav"}},
        {"the takes selected play in time order",
         [](TakesWindowTest& t) {
             t.select({0, 2});
             t.click("Play");
         },
         {"no follow live", "play c.wav a.wav"}},
        {"a take whose file is gone is not played",
         [](TakesWindowTest& t) {
             t.select({3});
             QTest::keyClick(t.table(), Qt::Key_Return);
         },
         {}},
        {"play from here: what matches, in time order, from the take selected",
         [](TakesWindowTest& t) {
             t.search("fire", 4);
             t.select({3});
             t.click("PlayFromHere");
         },
         {"no follow live", "play e.wav b.wav a.wav"}},
        {"play from here following live",
         [](TakesWindowTest& t) {
             t.child<QCheckBox>("FollowLive")->setChecked(true);
             t.select({1});
             QTest::keyClick(t.window.get(), Qt::Key_Return, Qt::ControlModifier);
         },
         {"follow live", "play b.wav a.wav"}},
        {"Space pauses",
         [&playing](TakesWindowTest& t) {
             playing(PlayerState::Mode::kPlaying)(t);
             QTest::keyClick(t.table(), Qt::Key_Space);
         },
         {"pause"}},
        {"Space goes on",
         [&playing](TakesWindowTest& t) {
             playing(PlayerState::Mode::kPaused)(t);
             QTest::keyClick(t.table(), Qt::Key_Space);
         },
         {"go on"}},
        {"next, previous and stop",
         [&playing](TakesWindowTest& t) {
             playing(PlayerState::Mode::kPlaying)(t);
             EXPECT_TRUE(
                 QTest::qWaitFor([&t] { return t.child<QPushButton>("Next")->isEnabled(); }));
             t.click("Next");
             t.click("Previous");
             t.click("Stop");
         },
         {"next", "previous", "stop"}},
        {"twice as fast",
         [](TakesWindowTest& t) { t.child<QComboBox>("Speed")->setCurrentIndex(2); },
         {"speed 2.000000"}},
    };
    for (const WiringCase& row : cases) {
        SCOPED_TRACE(row.what);
        player = FakePlayer();
        open();
        row.act(*this);
        EXPECT_TRUE(asked(row.calls)) << ::testing::PrintToString(player.calls);
    }
}

TEST_F(TakesWindowTest, ATakeSavedWhileOpenAppearsAndFollowsLive) {
    open();
    child<QCheckBox>("FollowLive")->setChecked(true);
    select({0});
    click("PlayFromHere");
    ASSERT_TRUE(asked({"follow live", "play a.wav"}));
    const std::int64_t a = window->model().take_at(0)->id;
    player.now = {PlayerState::Mode::kWaitingForLive, 0, a, 0, 1, 1.0, {}};
    select({1});

    folder.write("f.wav", wave_take({}, 22050));
    log.add(saved_row("f.wav", "2026-12-06T11:00:00-05:00", 1, texts("Metro", "", "Fire Ops")));

    EXPECT_TRUE(asked({"follow live", "play a.wav", "append f.wav"}))
        << ::testing::PrintToString(player.calls);
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed() == 6; }));
    EXPECT_EQ(name_at(0), "f.wav");
    // The take selected stays selected, a row lower.
    ASSERT_EQ(table()->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(table()->selectionModel()->selectedRows().front().row(), 2);
    EXPECT_EQ(child<QLabel>("Totals")->text().toStdString(), "6 takes, 6 s");
}

TEST_F(TakesWindowTest, FromToListsTheTakesOfTheMinutesTyped) {
    open();
    child<QComboBox>("Span")->setCurrentIndex(5);
    auto* from = child<QLineEdit>("From");
    auto* to = child<QLineEdit>("To");
    ASSERT_TRUE(from->isVisible() && to->isVisible());
    from->setText("2026-12-06 07:00");
    to->setText("2026-12-06 08:00");
    EXPECT_TRUE(QTest::qWaitFor([&] { return listed() == 2 && name_at(0) == "c.wav"; }))
        << listed();
    EXPECT_EQ(name_at(1), "d.wav");
    // Half typed, the field holds no time, and the list keeps the last one.
    to->setText("2026-13-06 08:00");
    from->setText("2026-12-06 06:00");
    EXPECT_TRUE(QTest::qWaitFor([&] { return listed() == 3 && name_at(2) == "e.wav"; }))
        << listed();
}

TEST_F(TakesWindowTest, ThePlayingRowIsMarked) {
    open();
    player.now = {PlayerState::Mode::kPlaying, 0, window->model().take_at(2)->id, 0, 1, 1.0, {}};
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window->model().index(2, 0).data(Qt::FontRole).value<QFont>().bold(); }));
    EXPECT_FALSE(window->model().index(1, 0).data(Qt::FontRole).value<QFont>().bold());
}

TEST_F(TakesWindowTest, StarsAreKeptAcrossARestart) {
    open();
    select({1});
    QTest::keyClick(window.get(), Qt::Key_D, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->model().take_at(1)->starred; }));
    window.reset();
    // Another index: the stars come from the takes folder, not the cache.
    cache.write("index.sqlite", "");
    std::filesystem::remove(cache.file("index.sqlite"));
    open();
    EXPECT_TRUE(window->model().take_at(1)->starred);
    EXPECT_FALSE(window->model().take_at(0)->starred);
    child<QCheckBox>("StarredOnly")->setChecked(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return listed() == 1 && name_at(0) == "b.wav"; }));
}

}  // namespace
}  // namespace taperly::testing
