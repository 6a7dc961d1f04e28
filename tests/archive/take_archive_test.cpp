// The index is a cache: a file that is no index, an index of another log,
// and one of an older Taperly are all made anew from the log and the folder.
#include "archive/take_archive.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "archive/log_stream.h"
#include "archive_fixture.h"

namespace taperly::testing {
namespace {

// The calls the archive hands to "the window's thread", run by the test.
class Pump {
  public:
    Post post() {
        return [this](std::function<void()> call) {
            const std::lock_guard lock(mutex_);
            calls_.push_back(std::move(call));
            woken_.notify_all();
        };
    }
    // Runs calls until `done`; false after half a minute without it.
    bool until(const std::function<bool()>& done) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done()) {
            std::unique_lock lock(mutex_);
            if (!woken_.wait_until(lock, limit, [this] { return !calls_.empty(); })) {
                return false;
            }
            std::function<void()> call = std::move(calls_.front());
            calls_.pop_front();
            lock.unlock();
            call();
        }
        return true;
    }

  private:
    std::mutex mutex_;
    std::condition_variable woken_;
    std::deque<std::function<void()>> calls_;
};

struct CacheCase {
    const char* what;
    std::function<void(TempFolder& folder, const std::string& index)> spoil;
    std::vector<std::string> listed;
};

TEST(TakeArchiveCache, IsMadeAnewWhenItCannotBeTrusted) {
    const std::vector<CacheCase> cases = {
        {"an index left as it was", [](TempFolder&, const std::string&) {}, {"b.wav", "a.wav"}},
        {"a file that is no index",
         [](TempFolder&, const std::string& index) {
             std::ofstream(index, std::ios::binary | std::ios::trunc) << std::string(8192, 'x');
         },
         {"b.wav", "a.wav"}},
        {"another log in its place, over other takes",
         [](TempFolder& folder, const std::string&) {
             std::filesystem::remove(folder.file("a.wav"));
             std::filesystem::remove(folder.file("b.wav"));
             folder.write("takes.csv",
                          log_of({saved_row("c.wav", "2026-12-05T20:00:00-05:00", 1)}));
             folder.write("c.wav", wave_take({}, 100));
         },
         {"c.wav"}},
        {"an older Taperly's index",
         [](TempFolder&, const std::string& index) {
             Database db(index);
             db.run(
                 "PRAGMA user_version = 1; DROP TABLE takes;"
                 "CREATE TABLE takes(id INTEGER PRIMARY KEY, file TEXT);");
         },
         {"b.wav", "a.wav"}},
    };
    for (const CacheCase& row : cases) {
        SCOPED_TRACE(row.what);
        TempFolder folder;
        TempFolder cache;
        folder.write("takes.csv", log_of({saved_row("a.wav", "2026-12-05T20:00:00-05:00", 1),
                                          saved_row("b.wav", "2026-12-05T21:00:00-05:00", 1)}));
        for (const char* name : {"a.wav", "b.wav"}) {
            folder.write(name, wave_take({}, 100));
        }
        Pump pump;
        const ArchiveSetup setup{folder.path(),
                                 index_path_for(cache.path(), folder.path()),
                                 std::make_shared<NewYorkishZone>(),
                                 pump.post(),
                                 [] { return at("2026-12-06T12:00:00-05:00"); },
                                 nullptr,
                                 nullptr};
        std::vector<std::string> listed;
        std::string problem;
        const auto open_and_list = [&] {
            bool done = false;
            ArchiveListener listener;
            listener.progress = [&done](const OpenProgress& progress) {
                done = progress.stage == OpenProgress::Stage::kDone;
            };
            listener.refreshed = [] {};
            listener.choices = [](const auto&, const auto&) {};
            listener.changed = [](const auto&) {};
            listener.failed = [&problem](const std::string& text) { problem = text; };
            TakeArchive archive(setup, listener);
            archive.open();
            EXPECT_TRUE(pump.until([&done] { return done; }));
            bool answered = false;
            archive.ask({}, 10, [&](const TakeAnswer& answer) {
                listed.clear();
                for (const ArchivedTake& take : answer.first) {
                    listed.push_back(take.facts.file_name);
                }
                answered = true;
            });
            EXPECT_TRUE(pump.until([&answered] { return answered; }));
        };
        open_and_list();
        row.spoil(folder, setup.index_path);
        open_and_list();
        EXPECT_EQ(listed, row.listed);
        EXPECT_EQ(problem, "");
    }
}

}  // namespace
}  // namespace taperly::testing

namespace taperly::testing {
namespace {

// A take saved while the window is open is told by the listeners, then read
// again from the log, where its length is rounded to a millisecond and its
// peak to a tenth of a dB: the same take, which must keep its place (and the
// selection on it), not be dropped and added anew.
TEST(TakeIndexRows, ATakeReadBackFromTheLogIsTheTakeTheListenersTold) {
    TempFolder folder;
    NewYorkishZone zone;
    TakeIndex index(":memory:", folder.path(), zone);
    open_to_end(index);
    TakeLogEntry told =
        saved_row("a.wav", "2026-12-06T09:00:00-05:00", 1, texts("Metro", "", "Ops"));
    told.frames = 22050 + 13;
    told.peak = 12345;
    folder.write("a.wav", wave_take({}, told.frames));
    folder.write("takes.csv", log_of({told}));
    IndexChanges first;
    index.apply(told, first);
    ASSERT_EQ(first.added.size(), 1U);

    LogStream rows(folder.file("takes.csv"), 0);
    const std::optional<TakeLogEntry> read = rows.next();
    ASSERT_TRUE(read);
    IndexChanges again;
    index.apply(*read, again);
    EXPECT_TRUE(again.added.empty() && again.removed.empty());
}

}  // namespace
}  // namespace taperly::testing
