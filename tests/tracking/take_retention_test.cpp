// Keeping takes for a number of days: over a takes folder whose takes.csv
// is written and read back by the real log, only the takes the log says
// Taperly saved, and that ended long enough ago, are removed, each with its
// row; nothing the log does not name, nor what a name came to mean since.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "settings/utf8_path.h"
#include "support/temp_folder.h"
#include "tracking/take_log_file.h"
#include "tracking/take_retention.h"
#include "tracking/takes_csv.h"

namespace taperly {
namespace {

constexpr int kKeepDays = 30;
constexpr int kOffset = -5 * 3600;
// 30 days and an hour after 2026-12-01 11:00.
const LocalTime kNow{"", {2026, 12, 31}, {12, 0, 0, kOffset}};

enum class Kind { kNone, kFile, kFolder };

struct Logged {
    TakeOutcome outcome;
    CalendarDate date;
    int hour = 12;
};

struct RetentionRow {
    const char* what;
    std::string name;
    std::vector<Logged> rows;
    Kind kind;
    bool removed;
};

std::vector<RetentionRow> table() {
    using O = TakeOutcome;
    return {
        {"old saved take", "old.flac", {{O::kSaved, {2026, 11, 21}}}, Kind::kFile, true},
        {"recent saved take", "recent.flac", {{O::kSaved, {2026, 12, 29}}}, Kind::kFile, false},
        {"just past the days", "past.wav", {{O::kSaved, {2026, 12, 1}, 11}}, Kind::kFile, true},
        {"just within the days",
         "within.wav",
         {{O::kSaved, {2026, 12, 1}, 13}},
         Kind::kFile,
         false},
        {"old split part", "part.flac", {{O::kSplit, {2026, 11, 2}}}, Kind::kFile, true},
        {"old recovered take, by its start",
         "unfinished_9-05-07-PM_11-01-2026.wav",
         {{O::kRecovered, {2026, 11, 1}}},
         Kind::kFile,
         true},
        {"file the log does not name", "mine.wav", {}, Kind::kFile, false},
        {"old take not saved: the file is someone else's",
         "other.wav",
         {{O::kNotSaved, {2026, 11, 1}}},
         Kind::kFile,
         false},
        {"old take whose name a later take found taken",
         "clash.flac",
         {{O::kSaved, {2026, 11, 1}}, {O::kNameTaken, {2026, 12, 30}}},
         Kind::kFile,
         true},
        {"name reused by a later take after a removal",
         "reused.flac",
         {{O::kSaved, {2026, 10, 1}}, {O::kRemoved, {2026, 11, 1}}, {O::kSaved, {2026, 12, 30}}},
         Kind::kFile,
         false},
        {"removed already, a file of that name made since",
         "again.wav",
         {{O::kSaved, {2026, 10, 1}}, {O::kRemoved, {2026, 11, 1}}},
         Kind::kFile,
         false},
        {"a folder of that name", "folder.wav", {{O::kSaved, {2026, 11, 1}}}, Kind::kFolder, false},
        {"old take gone already", "gone.wav", {{O::kSaved, {2026, 11, 1}}}, Kind::kNone, false},
        {"a name reaching out of the folder",
         "../outside.wav",
         {{O::kSaved, {2026, 11, 1}}},
         Kind::kNone,
         false},
    };
}

TakeLogEntry entry_of(const std::string& name, const Logged& logged) {
    TakeLogEntry entry;
    LocalTime time{"", logged.date, {logged.hour, 0, 0, kOffset}};
    if (logged.outcome == TakeOutcome::kRecovered) {
        entry = recovered_take_entry(name, "9-05-07-PM_11-01-2026", 22050);
        entry.start = time;
        return entry;
    }
    entry.start = time;
    entry.end = time;
    entry.file_name = name;
    entry.outcome = logged.outcome;
    entry.reason = logged.outcome == TakeOutcome::kNotSaved ? "No space left on device" : "";
    entry.frames = 22050;
    return entry;
}

std::string read(const std::string& path) {
    std::ifstream in(utf8_path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(TakeRetention, RemovesOnlyOldTakesTheLogSaysTaperlySaved) {
    testing::TempFolder folder;
    testing::TempFolder outside;
    TakeLogFile log(folder.path());
    const std::vector<RetentionRow> rows = table();
    // Rows of all takes interleaved in time order, as a log grows.
    std::multimap<std::string, TakeLogEntry> by_time;
    for (const RetentionRow& row : rows) {
        for (const Logged& logged : row.rows) {
            const TakeLogEntry entry = entry_of(row.name, logged);
            by_time.emplace(iso_8601(*entry.start), entry);
        }
        const std::filesystem::path path = utf8_path(folder.file(row.name));
        if (row.kind == Kind::kFile) {
            std::ofstream(path) << row.what;
        } else if (row.kind == Kind::kFolder) {
            std::filesystem::create_directory(path);
        }
    }
    std::ofstream(utf8_path(outside.file("outside.wav"))) << "outside";
    for (const auto& [time, entry] : by_time) {
        log.add(entry);
    }

    const int removed = remove_old_takes(folder.path(), kKeepDays, kNow, log);

    int expected = 0;
    const std::optional<std::vector<LoggedTake>> logged = read_takes_csv(read(log.path()));
    ASSERT_TRUE(logged.has_value());
    for (const RetentionRow& row : rows) {
        const std::filesystem::path path = utf8_path(folder.file(row.name));
        int removal_rows = 0;
        for (const LoggedTake& take : *logged) {
            if (take.file_name == row.name && take.outcome == "removed" &&
                take.end == iso_8601(kNow)) {
                ++removal_rows;
            }
        }
        EXPECT_EQ(removal_rows, row.removed ? 1 : 0) << row.what;
        if (row.removed) {
            ++expected;
            EXPECT_FALSE(std::filesystem::exists(path)) << row.what;
        } else if (row.kind == Kind::kFile) {
            EXPECT_EQ(read(folder.file(row.name)), row.what) << row.what;
        } else if (row.kind == Kind::kFolder) {
            EXPECT_TRUE(std::filesystem::is_directory(path)) << row.what;
        }
    }
    EXPECT_EQ(removed, expected);
    EXPECT_EQ(read(outside.file("outside.wav")), "outside");
    EXPECT_EQ(read(log.path()).size() > 0, true);

    // Once removed, a take is not removed again, nor another row written.
    const std::size_t log_size = read(log.path()).size();
    EXPECT_EQ(remove_old_takes(folder.path(), kKeepDays, kNow, log), 0);
    EXPECT_EQ(read(log.path()).size(), log_size);
}

TEST(TakeRetention, KeepDaysSetting) {
    EXPECT_EQ(keep_days_asked(nullptr), std::nullopt);
    EXPECT_EQ(keep_days_asked(""), std::nullopt);
    EXPECT_EQ(keep_days_asked("1"), 1);
    EXPECT_EQ(keep_days_asked("3650"), 3650);
    for (const char* refused : {"0", "3651", "-3", "7d", "seven", " 7"}) {
        EXPECT_EQ(keep_days_asked(refused), std::nullopt) << refused;
    }
}

}  // namespace
}  // namespace taperly
