#include "uploads/upload_journal.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace taperly {
namespace {

QueuedTake take(const std::string& name) {
    QueuedTake take;
    take.file_name = name;
    take.start_ms = 1796810505000;
    take.end_ms = 1796810507000;
    take.utc_offset_seconds = -18000;
    take.frames = 44100;
    take.system = "Metro";
    // What a journal's own separators and escapes must carry.
    take.talkgroup = "Ops\t1\\n \"A\"\r\nB";
    take.talkgroup_id = "2001";
    take.display_line1 = "Zürich";
    return take;
}

class JournalTest : public ::testing::Test {
  protected:
    testing::TempFolder folder;
    std::string path = folder.file("rdio-scanner.queue");
};

TEST_F(JournalTest, ReplaysWhatStillWaitsWithItsTriesAndStep) {
    {
        UploadJournal journal(path);
        ASSERT_TRUE(journal.queued(std::vector<JournalEntry>{{1, "2001", take("a.wav"), 0, {}},
                                                             {2, "2001", take("b.wav"), 0, {}}}));
        ASSERT_TRUE(journal.tried(1));
        ASSERT_TRUE(journal.tried(2));
        ASSERT_TRUE(journal.stepped(1, "https://sound.example/1?sig=x"));
        ASSERT_TRUE(journal.ended(2, "delivered"));
        ASSERT_TRUE(journal.passed_over("c.wav|1"));
        ASSERT_TRUE(journal.tried(1));
    }
    const JournalContents contents = UploadJournal(path).replay();
    ASSERT_EQ(contents.waiting.size(), 1u);
    EXPECT_EQ(contents.waiting[0],
              (JournalEntry{1, "2001", take("a.wav"), 2, "https://sound.example/1?sig=x"}));
    EXPECT_EQ(contents.known,
              (std::set<std::string>{take("a.wav").key(), take("b.wav").key(), "c.wav|1"}));
    EXPECT_EQ(contents.next_id, 3);
    EXPECT_EQ(contents.ended, 1);
    EXPECT_EQ(contents.log_from, -1)
        << "a journal never rewritten has not been told where the log was";
}

TEST_F(JournalTest, ARecordCutInHalfIsNoRecordAndTheNextOneStandsWhole) {
    UploadJournal(path).queued(JournalEntry{1, "7", take("a.wav"), 0, {}});
    folder.write("rdio-scanner.queue", folder.read("rdio-scanner.queue") + "done\t1\tdeliv");
    EXPECT_EQ(UploadJournal(path).replay().waiting.size(), 1u) << "the cut end is not an end";
    UploadJournal(path).tried(1);
    const JournalContents contents = UploadJournal(path).replay();
    ASSERT_EQ(contents.waiting.size(), 1u);
    EXPECT_EQ(contents.waiting[0].tries, 1);
}

TEST_F(JournalTest, ARewriteKeepsWhatWaitsAndACrashInItLosesNothing) {
    UploadJournal journal(path);
    journal.queued(
        std::vector<JournalEntry>{{1, "7", take("a.wav"), 0, {}}, {2, "7", take("b.wav"), 0, {}}});
    journal.tried(2);
    journal.ended(1, "delivered");
    JournalContents before = journal.replay();
    ASSERT_TRUE(journal.rewrite(4096, before.waiting));
    JournalContents after = UploadJournal(path).replay();
    EXPECT_EQ(after.waiting, before.waiting);
    EXPECT_EQ(after.log_from, 4096);
    EXPECT_EQ(after.ended, 0);
    // A crash before the old journal went: the half-made new one is dropped.
    folder.write("rdio-scanner.queue.new", "from\t1\n");
    EXPECT_EQ(UploadJournal(path).replay().waiting, before.waiting);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"rdio-scanner.queue"});
    // A crash after it went, before the new one had its name: the new one is it.
    folder.write("rdio-scanner.queue.new", folder.read("rdio-scanner.queue"));
    std::filesystem::remove(folder.file("rdio-scanner.queue"));
    EXPECT_EQ(UploadJournal(path).replay().waiting, before.waiting);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"rdio-scanner.queue"});
}

}  // namespace
}  // namespace taperly
