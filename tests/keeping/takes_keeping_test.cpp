// Keeping takes for a number of days, over a takes folder whose takes.csv
// is written and read back by the real log: only Taperly's own takes, still
// as it stored them, named as it names takes, old by the wall clock and
// watched that long in real time, are removed, each with its row; anything
// else stays, and a take that is no longer what was stored is said so once.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "keeping/take_keeper.h"
#include "keeping/takes_keeping.h"
#include "keeping_support.h"
#include "support/temp_folder.h"
#include "tracking/take_log_file.h"

namespace taperly {
namespace {

using namespace testing;

// Logged before the first pass, which is then watched for more than the
// days kept; or after it, at this start.
enum class When { kLongAgo, kThisStart };

struct Logged {
    TakeOutcome outcome;
    When when;
    CalendarDate stamped;
};

// What is under the name when the keeper looks: the file the last stored
// row stored; the first one's bytes put back; that take cut in its middle
// (another length, the same ends); the same length with other bytes; a
// folder; a link to the take moved elsewhere; nothing.
enum class File { kAsStored, kPutBack, kCutInMiddle, kRewritten, kFolder, kLink, kNone };

enum class Expect { kStays, kRemoved, kStaysSaidOnce };

struct Row {
    const char* what;
    std::string name;
    std::vector<Logged> rows;
    File file;
    Expect expect;
    // Starred in the Takes window.
    bool starred = false;
};

// The stars the rows give, as the Takes window keeps them.
class RowStars : public TakeStars {
  public:
    explicit RowStars(const std::vector<Row>& rows) {
        for (const Row& row : rows) {
            if (row.starred) {
                names_.push_back(row.name);
            }
        }
    }
    std::optional<std::vector<std::string>> starred() const override { return names_; }

  private:
    std::vector<std::string> names_;
};

std::string take_name(const std::string& texts, const std::string& date,
                      const std::string& extension = ".wav") {
    return texts + "_9-05-07-PM_9-05-31-PM_" + date + extension;
}

std::vector<Row> table() {
    using O = TakeOutcome;
    const When old = When::kLongAgo;
    const When now = When::kThisStart;
    const CalendarDate november{2026, 11, 1};
    const CalendarDate december{2026, 12, 30};
    // First: a row not decided for good keeps the rows after it read again
    // at every pass.
    return {
        {"recorded long ago with the clock a year ahead",
         take_name("Metro_Ops_Ahead", "11-01-2027"),
         {{O::kSaved, old, {2027, 11, 1}}},
         File::kAsStored,
         Expect::kStays},
        {"an old take the user starred",
         take_name("Metro_Ops_Starred", "11-01-2026"),
         {{O::kSaved, old, november}},
         File::kAsStored,
         Expect::kStaysSaidOnce,
         true},
        {"an old saved take",
         take_name("Metro_Ops_Tac-1", "11-01-2026"),
         {{O::kSaved, old, november}},
         File::kAsStored,
         Expect::kRemoved},
        {"a recent saved take",
         take_name("Metro_Ops_Tac-2", "12-30-2026", ".flac"),
         {{O::kSaved, now, december}},
         File::kAsStored,
         Expect::kStays},
        {"an old part of a long call",
         take_name("Metro_Ops_Tac-3", "11-01-2026", ".flac"),
         {{O::kSplit, old, november}},
         File::kAsStored,
         Expect::kRemoved},
        {"an old recovered take, by its start",
         "unfinished_9-05-07-PM_11-01-2026.wav",
         {{O::kRecovered, old, november}},
         File::kAsStored,
         Expect::kRemoved},
        {"a take recovered at this start, begun long ago",
         "unfinished_9-05-07-PM_10-01-2026_2.wav",
         {{O::kRecovered, now, {2026, 10, 1}}},
         File::kAsStored,
         Expect::kStays},
        {"an old take whose name a later take found taken",
         take_name("-_-_Fire", "11-01-2026"),
         {{O::kSaved, old, november}, {O::kNameTaken, now, december}},
         File::kAsStored,
         Expect::kRemoved},
        {"a name a later take was saved under after a removal",
         take_name("Metro_Ops_Tac-4", "10-01-2026"),
         {{O::kSaved, old, {2026, 10, 1}},
          {O::kRemoved, old, november},
          {O::kSaved, now, december}},
         File::kAsStored,
         Expect::kStays},
        {"removed already, then put back as it was",
         take_name("Metro_Ops_Tac-5", "10-01-2026"),
         {{O::kSaved, old, {2026, 10, 1}}, {O::kRemoved, old, november}},
         File::kPutBack,
         Expect::kStays},
        {"cut in its middle in an editor: another length, the same ends",
         take_name("Metro_Ops_Tac-6", "11-01-2026"),
         {{O::kSaved, old, november}},
         File::kCutInMiddle,
         Expect::kStaysSaidOnce},
        {"normalised in an editor: the same length, other bytes",
         take_name("Metro_Ops_Tac-7", "11-01-2026"),
         {{O::kSaved, old, november}},
         File::kRewritten,
         Expect::kStaysSaidOnce},
        {"a folder of the take's name",
         take_name("Metro_Ops_Tac-8", "11-01-2026"),
         {{O::kSaved, old, november}},
         File::kFolder,
         Expect::kStaysSaidOnce},
        {"a link to the take, moved elsewhere",
         take_name("Metro_Ops_Tac-9", "11-01-2026"),
         {{O::kSaved, old, november}},
         File::kLink,
         Expect::kStaysSaidOnce},
        {"an old take an upload still waits for",
         take_name("Metro_Ops_Held", "11-01-2026"),
         {{O::kSaved, old, november}},
         File::kAsStored,
         Expect::kStays},
        {"an old take gone already",
         take_name("Metro_Ops_Tac-10", "11-01-2026"),
         {{O::kSaved, old, november}},
         File::kNone,
         Expect::kStays},
        {"an old take not saved: the file is someone else's",
         take_name("Metro_Ops_Tac-11", "11-01-2026"),
         {{O::kNotSaved, old, november}},
         File::kAsStored,
         Expect::kStays},
        {"a file the log does not name",
         take_name("Metro_Ops_Tac-12", "11-01-2026"),
         {},
         File::kAsStored,
         Expect::kStays},
        {"a name reaching out of the folder",
         "Metro/../../" + take_name("Metro_Ops_Out", "11-01-2026"),
         {{O::kSaved, old, november}},
         File::kAsStored,
         Expect::kStays},
        {"the program", "taperly", {{O::kSaved, old, november}}, File::kAsStored, Expect::kStays},
        {"its help page",
         "taperly-help.html",
         {{O::kSaved, old, november}},
         File::kAsStored,
         Expect::kStays},
        {"a user's notes",
         "notes.txt",
         {{O::kSaved, old, november}},
         File::kAsStored,
         Expect::kStays},
        {"a copy of the settings",
         "com_settings.txt.bak",
         {{O::kSaved, old, november}},
         File::kAsStored,
         Expect::kStays},
        {"the log itself, where case is ignored",
         "TAKES.CSV",
         {{O::kSaved, old, november}},
         File::kAsStored,
         Expect::kStays},
        {"an old take whose name a later take has in capitals, where case is ignored",
         take_name("Metro_Ops_Case", "11-01-2026"),
         {{O::kSaved, old, november}},
         File::kAsStored,
         Expect::kStays},
        {"the later take in capitals",
         take_name("METRO_OPS_CASE", "11-01-2026"),
         {{O::kSaved, now, december}},
         File::kAsStored,
         Expect::kStays},
        {"recorded at this start with the clock a year behind",
         take_name("Metro_Ops_Behind", "12-30-2025"),
         {{O::kSaved, now, {2025, 12, 30}}},
         File::kAsStored,
         Expect::kStays},
        {"recorded at this start by a clock whose battery is dead",
         take_name("Metro_Ops_Battery", "01-01-2000"),
         {{O::kSaved, now, {2000, 1, 1}}},
         File::kAsStored,
         Expect::kStays},
    };
}

TEST(TakesKeeping, RemovesOnlyTaperlysOwnUntouchedOldTakes) {
    TempFolder outer;
    const std::string folder = outer.file("takes");
    std::filesystem::create_directory(utf8_path(folder));
    const std::string elsewhere = outer.file("elsewhere");
    std::filesystem::create_directory(utf8_path(elsewhere));
    // Where the name reaching out of the folder passes through.
    std::filesystem::create_directory(utf8_path(folder + "/Metro"));
    TakeLogFile log(folder);
    const auto path = [&folder](const std::string& name) { return folder + "/" + name; };
    std::vector<Row> rows = table();
    // Where the folder itself ignores case (Windows, Wine), TAKES.CSV is the
    // log: that row is left out rather than written over the log.
    write_file(path("case-probe"), "");
    if (std::filesystem::exists(utf8_path(path("CASE-PROBE")))) {
        std::printf("left out, as this folder ignores case: the log itself in capitals\n");
        std::erase_if(rows, [](const Row& row) { return row.name == "TAKES.CSV"; });
    }
    std::filesystem::remove(utf8_path(path("case-probe")));
    const auto log_rows = [&](When when) {
        for (const Row& row : rows) {
            for (std::size_t at = 0; at < row.rows.size(); ++at) {
                const Logged& logged = row.rows[at];
                if (logged.when != when) {
                    continue;
                }
                // The file as the take stored it, when the row is written.
                if (outcome_word(logged.outcome).stores_take) {
                    write_file(path(row.name), take_bytes(row.name + std::to_string(at)));
                }
                log.add(row_of(row.name, logged.outcome, logged.stamped));
            }
        }
    };
    for (const Row& row : rows) {
        write_file(path(row.name), take_bytes(row.name + "0"));
    }
    std::atomic<bool> ending = false;
    // The folder stands for one that ignores case, as Windows and FAT do.
    const RowStars stars(rows);
    TakesKeeping keeping(folder, kKeepDays, log, true, 2, &stars);
    // Another room holds the takes whose names say so, in capitals.
    struct Held : TakesToKeep {
        std::vector<std::string> takes_to_keep() const override {
            return {take_name("METRO_OPS_HELD", "11-01-2026")};
        }
    } held;
    keeping.keep_also(&held);
    log_rows(When::kLongAgo);
    EXPECT_EQ(keeping.pass(noon({2026, 11, 2}), steady(kDay), ending).trouble, "");
    log_rows(When::kThisStart);
    // Wine makes no links: there the link's row cannot be set up, and is
    // left out rather than passed.
    std::error_code link_error;
    for (const Row& row : rows) {
        const std::string file = path(row.name);
        const std::string stored = read_file(file);
        switch (row.file) {
            case File::kAsStored:
                break;
            case File::kPutBack:
                write_file(file, take_bytes(row.name + "0"));
                break;
            case File::kCutInMiddle:
                write_file(file,
                           stored.substr(0, 70 * 1024) + stored.substr(stored.size() - 70 * 1024));
                break;
            case File::kRewritten:
                write_file(file, take_bytes(row.name + "normalised"));
                break;
            case File::kFolder:
                std::filesystem::remove(utf8_path(file));
                std::filesystem::create_directory(utf8_path(file));
                break;
            case File::kLink:
                std::filesystem::rename(utf8_path(file), utf8_path(elsewhere + "/moved.wav"));
                std::filesystem::create_symlink(utf8_path(elsewhere + "/moved.wav"),
                                                utf8_path(file), link_error);
                break;
            case File::kNone:
                std::filesystem::remove(utf8_path(file));
                break;
        }
    }

    // 31 days later, watched all the while.
    const LocalTime now = noon({2026, 12, 31});
    const KeepingReport report = keeping.pass(now, steady(32 * kDay), ending);

    EXPECT_EQ(report.trouble, "");
    int removed = 0;
    int kept = 0;
    const std::vector<TakeLogEntry> logged = logged_rows(log.path());
    for (const Row& row : rows) {
        if (row.file == File::kLink && link_error) {
            std::printf("left out, as no link could be made (%s): %s\n",
                        link_error.message().c_str(), row.what);
            continue;
        }
        const std::string file = path(row.name);
        int removal_rows = 0;
        int kept_rows = 0;
        for (const TakeLogEntry& entry : logged) {
            if (entry.file_name == row.name && entry.end && iso_8601(*entry.end) == iso_8601(now)) {
                removal_rows += entry.outcome == TakeOutcome::kRemoved ? 1 : 0;
                kept_rows += entry.outcome == TakeOutcome::kKept ? 1 : 0;
            }
        }
        EXPECT_EQ(removal_rows, row.expect == Expect::kRemoved ? 1 : 0) << row.what;
        EXPECT_EQ(kept_rows, row.expect == Expect::kStaysSaidOnce ? 1 : 0) << row.what;
        std::error_code error;
        EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status(utf8_path(file), error)),
                  row.expect != Expect::kRemoved && row.file != File::kNone)
            << row.what;
        removed += row.expect == Expect::kRemoved ? 1 : 0;
        kept += row.expect == Expect::kStaysSaidOnce ? 1 : 0;
    }
    EXPECT_EQ(report.removed, removed);
    EXPECT_EQ(report.kept, kept);
    for (const Row& row : rows) {
        if (row.file == File::kLink && !link_error) {
            EXPECT_EQ(read_file(elsewhere + "/moved.wav"), take_bytes(row.name + "0"));
        }
    }
    EXPECT_EQ(read_file(outer.file(take_name("Metro_Ops_Out", "11-01-2026"))),
              take_bytes("Metro/../../" + take_name("Metro_Ops_Out", "11-01-2026") + "0"));

    // What was removed or said is not removed or said again.
    const std::string log_then = read_file(log.path());
    const KeepingReport again =
        keeping.pass(now, steady(32 * kDay + std::chrono::hours(1)), ending);
    EXPECT_EQ(again.removed + again.kept, 0);
    EXPECT_EQ(read_file(log.path()), log_then);
}

// Stars that cannot be read (stars.csv unreadable).
class UnreadableStars : public TakeStars {
  public:
    std::optional<std::vector<std::string>> starred() const override { return std::nullopt; }
};

TEST(TakesKeeping, RemovesNothingWhileTheStarsCannotBeRead) {
    TempFolder folder;
    TakeLogFile log(folder.path());
    const std::string name = take_name("Metro_Ops_Tac-1", "11-01-2026");
    folder.write(name, take_bytes(name));
    log.add(row_of(name, TakeOutcome::kSaved, {2026, 11, 1}));
    const UnreadableStars stars;
    TakesKeeping keeping(folder.path(), kKeepDays, log, std::nullopt, 10000, &stars);
    std::atomic<bool> ending = false;
    keeping.pass(noon({2026, 11, 2}), steady(kDay), ending);
    const KeepingReport report = keeping.pass(noon({2026, 12, 31}), steady(32 * kDay), ending);
    EXPECT_EQ(report.removed, 0);
    EXPECT_NE(report.trouble.find("stars"), std::string::npos) << report.trouble;
    EXPECT_EQ(folder.read(name), take_bytes(name));
}

TEST(TakesKeeping, SaysSoWhenNoRowOfTheLogCanBeRead) {
    TempFolder folder;
    TakeLogFile log(folder.path());
    // Saved again by a spreadsheet that wrote the times its own way.
    folder.write("takes.csv",
                 "start,end,seconds,file,outcome\r\n05.10.2026 21:05,05.10.2026 21:06,1.000," +
                     take_name("Metro_Ops_Tac-1", "10-05-2026") +
                     ",saved,,,,,,,12,0123456789abcdef\r\n");
    std::atomic<bool> ending = false;
    TakesKeeping keeping(folder.path(), kKeepDays, log);
    EXPECT_EQ(keeping.pass(noon({2026, 10, 6}), steady(kDay), ending).trouble, "");
    EXPECT_EQ(keeping.pass(noon({2026, 12, 31}), steady(32 * kDay), ending).trouble,
              "no row of takes.csv can be read as Taperly writes them");
}

TEST(TakesKeeping, KeepDaysSetting) {
    EXPECT_EQ(keep_days_asked(nullptr).days, std::nullopt);
    EXPECT_EQ(keep_days_asked("").days, std::nullopt);
    EXPECT_EQ(keep_days_asked("").refused, "");
    EXPECT_EQ(keep_days_asked("1").days, 1);
    EXPECT_EQ(keep_days_asked("3650").days, 3650);
    for (const char* refused : {"0", "3651", "-3", "7d", "seven", " 7"}) {
        EXPECT_EQ(keep_days_asked(refused).days, std::nullopt) << refused;
        EXPECT_NE(keep_days_asked(refused).refused.find(refused), std::string::npos) << refused;
    }
}

}  // namespace
}  // namespace taperly
