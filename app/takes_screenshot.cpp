// Pictures the Takes window answering a search, for the README:
// taperly-takes-screenshot FOLDER OUTPUT. FOLDER gets a night of made-up
// takes (their rows and short silent files); scripts/screenshot runs it
// under a virtual X display.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLineEdit>
#include <QPixmap>
#include <QTableView>
#include <QTest>
#include <cstdio>
#include <fstream>
#include <random>

#include "archive/star_file.h"
#include "recorder/takes/take_layout.h"
#include "takes_window/qt_local_zone.h"
#include "takes_window/qt_trash.h"
#include "takes_window/takes_model.h"
#include "takes_window/takes_window.h"
#include "takes_window/unavailable_player.h"
#include "tracking/take_log.h"
#include "tracking/take_naming.h"

using namespace taperly;

namespace {

struct Call {
    const char* system;
    const char* group;
    const char* talkgroup;
};

constexpr Call kCalls[] = {
    {"Metro P25", "Fire", "Fire Dispatch"}, {"Metro P25", "Fire", "Fire Ops 2"},
    {"Metro P25", "EMS", "EMS 1"},          {"County EDACS", "Sheriff", "Sheriff Tac 3"},
    {"Metro P25", "Fire", "Fire Dispatch"}, {"State Net", "North Area", "Ops"},
    {"Metro P25", "Fire", "Fire Ops 1"},    {"County EDACS", "Works", "Public Works"},
};

void make_takes(const std::string& folder) {
    std::string log = take_log_header();
    std::mt19937 random(7);
    // The night before the picture is taken, by the desktop's clock.
    QDateTime time = QDateTime::currentDateTime().addDays(-1);
    time.setTime(QTime(22, 41, 5));
    std::vector<std::string> starred;
    for (int take = 0; take < 60; ++take) {
        const Call& call = kCalls[random() % std::size(kCalls)];
        const int seconds = 2 + static_cast<int>(random() % 25);
        TakeLogEntry row;
        const auto local = [](const QDateTime& at) {
            return LocalTime{
                at.toString("h:mm:ss AP").toStdString(),
                {at.date().year(), at.date().month(), at.date().day()},
                {at.time().hour(), at.time().minute(), at.time().second(), at.offsetFromUtc()}};
        };
        row.start = local(time);
        row.end = local(time.addSecs(seconds));
        row.frames = seconds * 22050LL;
        row.system = call.system;
        row.group = call.group;
        row.talkgroup = call.talkgroup;
        row.display_line1 = call.system;
        row.display_line2 = call.talkgroup;
        row.peak = 9000 + static_cast<int>(random() % 20000);
        std::vector<std::string> texts = {call.system, call.group, call.talkgroup};
        for (std::string& text : texts) {
            clean_name_piece(text);
        }
        row.file_name =
            compose_take_name(texts,

                              time_piece(row.start->time_of_day), time_piece(row.end->time_of_day),
                              date_text(row.end->date));
        log += take_log_row(row);
        const TakeHead head = take_head({}, static_cast<std::uint32_t>(row.frames * 2));
        std::ofstream file(folder + "/" + row.file_name, std::ios::binary);
        file.write(reinterpret_cast<const char*>(head.data()), head.size());
        file << std::string(static_cast<std::size_t>(row.frames * 2), '\0');
        if (take % 9 == 4) {
            starred.push_back(row.file_name);
        }
        time = time.addSecs(seconds + 20 + static_cast<int>(random() % 600));
    }
    std::ofstream(folder + "/takes.csv", std::ios::binary) << log;
    StarFile(folder).write(starred, true, "2026-12-07T00:00:00-05:00");
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: taperly-takes-screenshot FOLDER OUTPUT\n");
        return 2;
    }
    const std::string folder = argv[1];
    make_takes(folder);
    UnavailablePlayer player("");
    TakesWindowParts parts;
    parts.folder = folder;
    parts.index_path = folder + "/../index.sqlite";
    parts.player = &player;
    parts.zone = std::make_shared<QtLocalZone>();
    parts.trash = std::make_shared<QtTrash>();
    parts.now = [] { return LocalTime{}; };
    parts.now_seconds = [] { return QDateTime::currentSecsSinceEpoch(); };
    parts.locale = QLocale(QLocale::English, QLocale::UnitedStates);
    TakesWindow window(std::move(parts));
    window.resize(1260, 560);
    window.show();
    TakesModel& model = window.model();
    if (!QTest::qWaitFor([&] { return model.take_at(0) != nullptr; }, 10000)) {
        return 1;
    }
    window.findChild<QLineEdit*>("Search")->setText("fire disp");
    window.findChild<QComboBox*>("Span")->setCurrentIndex(4);
    QTest::qWait(1500);
    window.findChild<QTableView*>("Takes")->selectRow(1);
    QTest::qWait(300);
    if (!window.grab().save(argv[2], "PNG")) {
        std::fprintf(stderr, "taperly-takes-screenshot: cannot save %s\n", argv[2]);
        return 1;
    }
    return 0;
}
