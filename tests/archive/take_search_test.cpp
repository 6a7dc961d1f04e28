// The search and filter rules over an index built from a real takes folder:
// rows written as the program writes them, takes without rows (tags, names),
// a missing file, and the desktop's days across midnight, UTC offsets and a
// clock change.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/star_file.h"
#include "archive/take_query.h"
#include "archive_fixture.h"

namespace taperly::testing {
namespace {

TakeFilter asked(const std::string& words, std::vector<std::string> labels = {},
                 std::vector<std::string> systems = {}, bool starred_only = false) {
    TakeFilter filter;
    filter.words = words;
    filter.labels = std::move(labels);
    filter.systems = std::move(systems);
    filter.starred_only = starred_only;
    return filter;
}

struct SearchCase {
    const char* what;
    std::string now;
    TakeFilter filter;
    std::vector<std::string> listed;
    TimeSpan span = TimeSpan::kAll;
    std::string from_local = {};
    std::string to_local = {};
};

class TakeSearch : public ::testing::Test {
  protected:
    void SetUp() override {
        std::vector<TakeLogEntry> rows = {
            saved_row("fallback_before.wav", "2026-10-31T23:30:00-04:00", 1),
            saved_row("fallback_after.wav", "2026-11-01T00:30:00-04:00", 1),
            saved_row("taken.wav", "2026-12-02T08:00:00-05:00", 3,
                      texts("City Net", "Works", "Pub Works")),
            saved_row("trashed.wav", "2026-12-03T08:00:00-05:00", 2,
                      texts("City Net", "", "Trash")),
            saved_row("gone.wav", "2026-12-04T09:00:00-05:00", 4,
                      texts("State Net", "North Area", "Police North")),
            saved_row("quotes.wav", "2026-12-04T10:00:00-05:00", 5,
                      texts("", "", "", "Fire, \"North\"", "Tac 2")),
            saved_row("remote.wav", "2026-12-06T03:30:00+01:00", 6,
                      texts("County EDACS", "", "Harbor Ops")),
            saved_row("metro_ops.wav", "2026-12-05T23:50:00-05:00", 7,
                      texts("Metro Fire", "Ops", "Café Ops")),
            saved_row("fire_dispatch.wav", "2026-12-06T00:10:00-05:00", 8,
                      texts("Metro Fire", "Dispatch Area", "Fire Dispatch")),
        };
        TakeLogEntry taken =
            saved_row("taken.wav", "2026-12-05T08:00:00-05:00", 1, texts("Other", "", ""));
        taken.outcome = TakeOutcome::kNameTaken;
        rows.push_back(taken);
        TakeLogEntry removed;
        removed.file_name = "trashed.wav";
        removed.outcome = TakeOutcome::kRemoved;
        removed.end = at("2026-12-05T09:00:00-05:00");
        rows.push_back(removed);
        rows.push_back(recovered_take_entry("unfinished_12-05-07-AM_12-06-2026.wav",
                                            "12-05-07-AM_12-06-2026", 22050));
        folder.write("takes.csv", log_of(rows));
        for (const char* name :
             {"fallback_before.wav", "fallback_after.wav", "taken.wav", "quotes.wav", "remote.wav",
              "metro_ops.wav", "fire_dispatch.wav", "unfinished_12-05-07-AM_12-06-2026.wav"}) {
            folder.write(name, wave_take({}, 22050));
        }
        TakeTags harbor;
        harbor.title = "Harbor Patrol";
        harbor.comment = "System: Coast Net; Talkgroup: Harbor Patrol";
        harbor.created = "2026-12-05T08:00:00-05:00";
        folder.write("tagged.wav", wave_take(harbor, 11025));
        TakeTags coast;
        coast.title = "Coast Guard";
        coast.comment = "System: Coast Net; Group: Sea; Talkgroup: Coast Guard";
        coast.created = "2026-12-05T07:00:00-05:00";
        coast_name =
            write_flac(folder.path(), "coast", std::vector<std::int16_t>(44100, 500), coast);
        folder.write("Metro-P25_Area-9_EMS-27_9-05-07-PM_9-05-31-PM_12-04-2026.wav",
                     wave_take({}, 22050 * 24));
        folder.write("Notes_from_Ridge.wav", wave_take({}, 22050));
        folder.write("Marine-16_-_Scan-2_11-59-50-PM_12-00-10-AM_12-05-2026.wav",
                     wave_take({}, 22050 * 20));
        std::filesystem::last_write_time(
            folder.file("Notes_from_Ridge.wav"),
            std::chrono::file_clock::from_sys(std::chrono::sys_seconds(
                std::chrono::seconds(utc_at("2026-12-01T00:00:00+00:00")))));
        folder.write("readme.txt", "not a take");
        folder.write(".taperly-take-abc.wav", wave_take({}, 100));
        ASSERT_TRUE(StarFile(folder.path()).write({"metro_ops.wav", "quotes.wav"}, true, "t"));
        ASSERT_TRUE(StarFile(folder.path()).write({"quotes.wav"}, false, "t"));
        open_to_end(index);
    }

    TempFolder folder;
    // coast.flac, or coast.wav where this libsndfile writes no FLAC.
    std::string coast_name;
    NewYorkishZone zone;
    TakeIndex index{":memory:", folder.path(), zone};
};

std::vector<std::string> names_of(const std::vector<ArchivedTake>& takes) {
    std::vector<std::string> names;
    for (const ArchivedTake& take : takes) {
        names.push_back(take.facts.file_name + (take.present ? "" : " (missing)"));
    }
    return names;
}

const std::vector<std::string> kEveryTake = {
    "fire_dispatch.wav",
    "unfinished_12-05-07-AM_12-06-2026.wav",
    "metro_ops.wav",
    "remote.wav",
    "tagged.wav",
    "coast.flac",
    "Marine-16_-_Scan-2_11-59-50-PM_12-00-10-AM_12-05-2026.wav",
    "Metro-P25_Area-9_EMS-27_9-05-07-PM_9-05-31-PM_12-04-2026.wav",
    "quotes.wav",
    "gone.wav (missing)",
    "taken.wav",
    "Notes_from_Ridge.wav",
    "fallback_after.wav",
    "fallback_before.wav",
};

TEST_F(TakeSearch, FindsWhatEachFilterAsks) {
    const std::string noon = "2026-12-06T12:00:00-05:00";
    const std::vector<SearchCase> cases = {
        {"every take, newest first", noon, asked(""), kEveryTake},
        {"word beginnings in any order", noon, asked("fire disp"), {"fire_dispatch.wav"}},
        {"not the middle of a word", noon, asked("ispatch"), {}},
        {"case and accents ignored", noon, asked("CAFE"), {"metro_ops.wav"}},
        {"accents typed", noon, asked("café"), {"metro_ops.wav"}},
        {"a quoted text, and a group", noon, asked("north"), {"quotes.wav", "gone.wav (missing)"}},
        {"quotes typed", noon, asked("\"north\""), {"quotes.wav", "gone.wav (missing)"}},
        {"commas typed, both words in one take", noon, asked("fire, north"), {"quotes.wav"}},
        {"a row's text and a file's tag", noon, asked("harbor"), {"remote.wav", "tagged.wav"}},
        {"a FLAC file's tags", noon, asked("coast guard"), {"coast.flac"}},
        {"a name's texts",
         noon,
         asked("ems 27"),
         {"Metro-P25_Area-9_EMS-27_9-05-07-PM_9-05-31-PM_12-04-2026.wav"}},
        {"a name of another shape", noon, asked("notes ridge"), {"Notes_from_Ridge.wav"}},
        {"a display-named name's first line, begun the day before its date",
         noon,
         asked("", {"Marine 16"}),
         {"Marine-16_-_Scan-2_11-59-50-PM_12-00-10-AM_12-05-2026.wav"},
         TimeSpan::kBetween,
         "2026-12-04T00:00:00",
         "2026-12-04T23:59:59"},
        {"a name word with a text word", noon, asked("ridge notes"), {"Notes_from_Ridge.wav"}},
        {"a recovered take's name",
         noon,
         asked("unfin"),
         {"unfinished_12-05-07-AM_12-06-2026.wav"}},
        {"a name taken leaves the take as it was", noon, asked("pub"), {"taken.wav"}},
        {"nor does its row's text count", noon, asked("other"), {}},
        {"a removed take is gone", noon, asked("trash"), {}},
        {"today since midnight, a recovered take's local time",
         noon,
         asked(""),
         {"fire_dispatch.wav", "unfinished_12-05-07-AM_12-06-2026.wav"},
         TimeSpan::kToday},
        {"today late in the evening, UTC already in the next day",
         "2026-12-06T21:00:00-05:00",
         asked(""),
         {"fire_dispatch.wav", "unfinished_12-05-07-AM_12-06-2026.wav"},
         TimeSpan::kToday},
        {"yesterday, a take of another UTC offset",
         noon,
         asked(""),
         {"metro_ops.wav", "remote.wav", "tagged.wav", "coast.flac"},
         TimeSpan::kYesterday},
        {"the last hour across midnight",
         "2026-12-06T00:30:00-05:00",
         asked(""),
         {"fire_dispatch.wav", "unfinished_12-05-07-AM_12-06-2026.wav", "metro_ops.wav"},
         TimeSpan::kLastHour},
        {"the last seven days",
         noon,
         asked(""),
         {kEveryTake.begin(), kEveryTake.end() - 2},
         TimeSpan::kLastSevenDays},
        {"a day summer time ended",
         noon,
         asked(""),
         {"fallback_after.wav"},
         TimeSpan::kBetween,
         "2026-11-01T00:00:00",
         "2026-11-01T23:59:59"},
        {"talkgroups chosen",
         noon,
         asked("", {"Fire Dispatch", "Café Ops"}),
         {"fire_dispatch.wav", "metro_ops.wav"}},
        {"a display line as the talkgroup", noon, asked("", {"Fire, \"North\""}), {"quotes.wav"}},
        {"a system chosen", noon, asked("", {}, {"Coast Net"}), {"tagged.wav", "coast.flac"}},
        {"starred only", noon, asked("", {}, {}, true), {"metro_ops.wav"}},
        {"a word and a day", noon, asked("fire"), {"metro_ops.wav"}, TimeSpan::kYesterday},
        {"a word, a talkgroup and a day",
         noon,
         asked("fire", {"Fire Dispatch"}),
         {"fire_dispatch.wav"},
         TimeSpan::kToday},
        {"a name word and a system", noon, asked("notes", {}, {"Coast Net"}), {}},
    };
    for (const SearchCase& row : cases) {
        for (const QueryPlan plan : {QueryPlan::kTable, QueryPlan::kTexts}) {
            SCOPED_TRACE(std::string(row.what) +
                         (plan == QueryPlan::kTexts ? " (texts index)" : " (table)"));
            TakeFilter filter = row.filter;
            const auto local = [](const std::string& text) { return local_seconds(at(text)); };
            filter.bounds = time_bounds(row.span, utc_at(row.now), zone,
                                        row.from_local.empty() ? 0 : local(row.from_local),
                                        row.to_local.empty() ? 0 : local(row.to_local));
            TakeQuery query(index, filter, plan);
            const std::vector<ArchivedTake> listed = query.page(0, 100);
            std::vector<std::string> expected = row.listed;
            std::replace(expected.begin(), expected.end(), std::string("coast.flac"), coast_name);
            EXPECT_EQ(names_of(listed), expected);
            std::int64_t milliseconds = 0;
            for (const ArchivedTake& take : listed) {
                milliseconds += take.facts.milliseconds;
            }
            EXPECT_EQ(query.totals(),
                      (TakeTotals{static_cast<std::int64_t>(listed.size()), milliseconds}));
        }
    }
}

}  // namespace
}  // namespace taperly::testing
