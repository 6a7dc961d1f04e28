#include "uploads/uploads_note.h"

#include <gtest/gtest.h>

namespace taperly {
namespace {

using Health = TargetView::Health;
using std::chrono::milliseconds;

TargetView target(const std::string& label, Health health, const std::string& reason, int waiting,
                  long long failing_ms = 0) {
    TargetView view;
    view.label = label;
    view.health = health;
    view.reason = reason;
    view.waiting = waiting;
    view.delivered = 40;
    if (health == Health::kFailing) {
        view.failing_since = UploadSteady(1000000 - failing_ms);
    }
    return view;
}

struct NoteCase {
    const char* name;
    UploadsFacts facts;
    // The text, or "" for none; and a part of the tooltip.
    std::string text;
    std::string detail_part;
};

TEST(UploadsNote, TellsTheWorstFirstAndEachTargetInTheTooltip) {
    const TargetView well = target("OpenMHz", Health::kWell, "", 0);
    const TargetView failing_59s =
        target("Rdio Scanner", Health::kFailing, "connection refused", 12, 59999);
    const TargetView failing_60s =
        target("Rdio Scanner", Health::kFailing, "connection refused", 12, 60000);
    const TargetView refused =
        target("OpenMHz", Health::kRefused, "Talkgroup does not exist, skipping.", 0);
    const TargetView stopped = target("Broadcastify Calls", Health::kStopped, "Invalid-API-Key", 3);
    const UploadSteady now(1000000);
    const NoteCase cases[] = {
        {"all_well", {{}, {}, {well}, {}, now}, "", ""},
        {"failing_under_a_minute", {{}, {}, {well, failing_59s}, {}, now}, "", ""},
        {"failing_a_minute",
         {{}, {}, {well, failing_60s}, {}, now},
         "Upload to Rdio Scanner failing: connection refused, 12 waiting",
         "OpenMHz: 40 delivered, none waiting. Rdio Scanner: failing for 1 min (connection "
         "refused), 12 waiting."},
        {"a_refusal_until_the_next_delivery",
         {{}, {}, {refused}, {}, now},
         "Upload to OpenMHz refused: Talkgroup does not exist, skipping.",
         "a take was refused"},
        {"stopped_beats_failing",
         {{}, {}, {failing_60s, stopped}, {}, now},
         "Upload to Broadcastify Calls stopped: Invalid-API-Key",
         "Broadcastify Calls: stopped until uploads.ini changes (Invalid-API-Key), 3 waiting."},
        {"a_mistake_beats_the_targets",
         {{}, {{7, "unknown section [rdio]"}}, {stopped}, {}, now},
         "uploads.ini line 7: unknown section [rdio]",
         "Broadcastify Calls: stopped"},
        {"the_file_refused",
         {"uploads.ini holds keys and others can read it", {}, {}, {}, now},
         "Uploads off: others can read uploads.ini",
         "Nothing is uploaded: uploads.ini holds keys"},
        {"rows_not_written",
         {{}, {}, {well}, "uploads.csv cannot be written: Read-only file system", now},
         "uploads.csv cannot be written: Read-only file system",
         "OpenMHz: 40 delivered"},
    };
    for (const NoteCase& c : cases) {
        const std::optional<UploadsNote> note = uploads_note(c.facts);
        EXPECT_EQ(note ? note->text : "", c.text) << c.name;
        if (note) {
            EXPECT_NE(note->detail.find(c.detail_part), std::string::npos)
                << c.name << ": " << note->detail;
        }
    }
}

}  // namespace
}  // namespace taperly
