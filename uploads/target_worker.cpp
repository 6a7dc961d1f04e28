#include "uploads/target_worker.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "settings/file_exists.h"
#include "settings/utf8_path.h"
#include "tracking/take_log_codec.h"
#include "tracking/take_log_reader.h"
#include "uploads/background_thread.h"
#include "uploads/call_sender.h"
#include "uploads/upload_journal.h"

namespace taperly {

namespace {

bool is_stored(TakeOutcome outcome) {
    return outcome_word(outcome).stores_take;
}

std::string journal_name(const TargetSettings& target) {
    std::string id = target.id();
    std::replace(id.begin(), id.end(), ' ', '_');
    return id + ".queue";
}

// The stored and removed takes' rows of the log from byte `from` on; where
// the rows read end (before a row still being written).
std::int64_t read_log_from(const std::string& log, std::int64_t from,
                           std::vector<TakeLogEntry>& rows) {
    std::ifstream in(utf8_path(log), std::ios::binary);
    in.seekg(0, std::ios::end);
    const std::int64_t size = in ? static_cast<std::int64_t>(in.tellg()) : 0;
    // A log cut shorter than the journal knew it was replaced: its rows are
    // no longer the ones the journal heard of.
    if (from > size) {
        return size;
    }
    in.seekg(from);
    TakeLogReader reader(in, from);
    std::vector<std::string> fields;
    while (reader.next(fields) && reader.row_ended()) {
        from = reader.offset();
        const std::optional<TakeLogEntry> row = read_take_log_row(fields);
        if (row && (is_stored(row->outcome) || row->outcome == TakeOutcome::kRemoved)) {
            rows.push_back(*row);
        }
    }
    return from;
}

std::int64_t file_size(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(utf8_path(path), error);
    return error ? 0 : static_cast<std::int64_t>(size);
}

}  // namespace

TargetWorker::TargetWorker(TargetSettings target, std::map<std::string, std::string> talkgroups,
                           std::string takes_folder, std::string work_folder,
                           const WorkerParts& parts, UploadRows& rows,
                           std::vector<TakeLogEntry> untaken)
    : target_(std::move(target)),
      takes_folder_(std::move(takes_folder)),
      work_folder_(std::move(work_folder)),
      parts_(parts),
      rows_(rows),
      inbox_(std::move(untaken)),
      talkgroups_(std::move(talkgroups)),
      journal_(join_path(work_folder_, journal_name(target_))) {
    view_.label = target_.label();
    sender_ = std::thread([this] { send(); });
    thread_ = std::thread([this] { work(); });
}

std::vector<TakeLogEntry> TargetWorker::stop() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    cancelled_ = true;
    woken_.notify_all();
    send_woken_.notify_all();
    if (sender_.joinable()) {
        sender_.join();
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    const std::lock_guard lock(mutex_);
    return std::exchange(inbox_, {});
}

void TargetWorker::heard(const TakeLogEntry& entry) {
    if (!is_stored(entry.outcome) && entry.outcome != TakeOutcome::kRemoved) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        if (ending_) {
            return;
        }
        inbox_.push_back(entry);
    }
    woken_.notify_all();
}

void TargetWorker::resume(std::map<std::string, std::string> talkgroups) {
    {
        const std::lock_guard lock(mutex_);
        talkgroups_ = std::move(talkgroups);
        resume_asked_ = true;
    }
    woken_.notify_all();
}

TargetView TargetWorker::view() const {
    const std::lock_guard lock(mutex_);
    return view_;
}

void TargetWorker::publish(const TargetQueue& queue) {
    TargetView view = queue.view();
    const std::lock_guard lock(mutex_);
    view_ = std::move(view);
}

void TargetWorker::start_queue(TargetQueue& queue) {
    JournalContents contents = journal_.replay();
    std::int64_t from = contents.log_from;
    queue.start(std::move(contents));
    const std::string log = join_path(takes_folder_, "takes.csv");
    if (from < 0) {
        // A target begun now sends the takes stored from now on.
        from = file_size(log);
    } else {
        // What the door told is taken first, as it is whole; then the takes
        // stored since the journal last looked that it never heard of
        // (Taperly ended between a take's row and its queue).
        std::vector<TakeLogEntry> heard;
        {
            const std::lock_guard lock(mutex_);
            heard.swap(inbox_);
        }
        take_in(queue, heard);
        std::vector<TakeLogEntry> missed;
        from = read_log_from(log, from, missed);
        take_in(queue, missed);
    }
    // Only what still waits is kept: the journal stays as long as its queue.
    journal_.rewrite(from, queue.waiting());
}

void TargetWorker::take_in(TargetQueue& queue, std::vector<TakeLogEntry>& rows) {
    std::map<std::string, std::string> talkgroups;
    {
        const std::lock_guard lock(mutex_);
        talkgroups = talkgroups_;
    }
    std::vector<std::pair<QueuedTake, std::string>> stored;
    for (const TakeLogEntry& row : rows) {
        if (row.outcome == TakeOutcome::kRemoved) {
            queue.add(stored);
            stored.clear();
            for (const JournalEntry& entry : queue.waiting()) {
                if (entry.take.file_name == row.file_name) {
                    queue.remove(entry.take.key());
                    break;
                }
            }
            continue;
        }
        const std::optional<QueuedTake> take = queued_take(row, parts_.clock->utc_offset_seconds());
        if (!take) {
            rows_.add({rfc3339(parts_.clock->unix_ms(), parts_.clock->utc_offset_seconds()),
                       row.file_name,
                       target_.id(),
                       "not queued: its start is not known",
                       0,
                       {},
                       0});
            continue;
        }
        stored.emplace_back(*take, number_for(target_, talkgroups, *take));
    }
    queue.add(stored);
    rows.clear();
}

void TargetWorker::send() {
    run_in_background();
    // Its parts are made and used on this thread alone (Qt's sockets keep
    // to the thread that made them).
    const std::unique_ptr<HttpClient> http = parts_.make_http();
    const std::unique_ptr<SoundEncoder> encoder = parts_.make_encoder();
    const std::unique_ptr<CommandRunner> runner = parts_.make_runner();
    ServiceSender sender(target_, takes_folder_, work_folder_, *http, *encoder, *runner,
                         cancelled_);
    for (;;) {
        JournalEntry entry;
        {
            std::unique_lock lock(mutex_);
            send_woken_.wait(lock, [this] { return ending_ || (to_send_ && !sent_); });
            if (ending_) {
                return;
            }
            entry = *to_send_;
        }
        // Broadcastify's address for the sound is on the disk before the
        // sound goes there.
        const TryOutcome outcome = sender.send(entry, [&](const std::string& url) {
            entry.sound_url = url;
            journal_.stepped(entry.id, url);
        });
        {
            const std::lock_guard lock(mutex_);
            to_send_ = entry;
            sent_ = outcome;
        }
        woken_.notify_all();
    }
}

void TargetWorker::work() {
    run_in_background();
    TargetQueue queue(target_, journal_, rows_, *parts_.clock, parts_.chance);
    start_queue(queue);
    publish(queue);
    std::vector<TakeLogEntry> rows;
    std::optional<JournalEntry> tried;
    for (;;) {
        bool resume = false;
        std::optional<TryOutcome> outcome;
        {
            std::unique_lock lock(mutex_);
            const auto woken = [this] {
                return ending_ || !inbox_.empty() || resume_asked_ || sent_.has_value();
            };
            const std::optional<UploadSteady> due = queue.due();
            if (!due) {
                woken_.wait(lock, woken);
            } else if (const UploadSteady now = parts_.clock->steady(); *due > now) {
                woken_.wait_for(lock, *due - now, woken);
            }
            if (ending_) {
                return;
            }
            rows.swap(inbox_);
            resume = std::exchange(resume_asked_, false);
            if (sent_) {
                outcome = std::exchange(sent_, std::nullopt);
                tried = std::exchange(to_send_, std::nullopt);
            }
        }
        // Takes that came meanwhile are on the disk before the try's end is.
        take_in(queue, rows);
        if (outcome) {
            queue.end_try(*tried, *outcome);
        }
        if (resume) {
            queue.resume();
        }
        if (const auto due = queue.due(); due && *due <= parts_.clock->steady()) {
            if (std::optional<JournalEntry> entry = queue.begin_try()) {
                {
                    const std::lock_guard lock(mutex_);
                    to_send_ = std::move(entry);
                }
                send_woken_.notify_all();
            }
        }
        publish(queue);
    }
}

}  // namespace taperly
