#pragma once

// The uploads of a takes folder on their real parts (sockets, MP3, processes,
// the system's clock), fed through the takes log's door as the window feeds
// them, and what they wrote.

#include <sndfile.h>

#include <QDateTime>
#include <chrono>
#include <cmath>
#include <memory>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "system_calls.h"
#include "tools/launch/wait_until.h"
#include "tracking/take_identity.h"
#include "tracking/take_log_file.h"
#include "tracking/take_log_listeners.h"
#include "uploads/uploads_room.h"

namespace taperly::testing {

// A row of uploads.csv (or of any CSV), its fields.
inline std::vector<std::vector<std::string>> csv_rows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row(1);
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                row.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                row.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row.emplace_back();
        } else if (c == '\n') {
            rows.push_back(row);
            row.assign(1, {});
        } else if (c != '\r') {
            row.back() += c;
        }
    }
    return rows;
}

// A take's sound: a tone of `hz` for `seconds` at the takes' rate.
inline std::vector<short> tone(double seconds, double hz) {
    std::vector<short> samples(static_cast<std::size_t>(seconds * 22050));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<short>(
            8000 * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / 22050));
    }
    return samples;
}

inline bool write_take(const std::string& path, const std::vector<short>& samples,
                       int format = SF_FORMAT_WAV) {
    SF_INFO info{};
    info.samplerate = 22050;
    info.channels = 1;
    info.format = format | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        return false;
    }
    sf_writef_short(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    return sf_close(file) == 0;
}

inline std::vector<short> read_sound(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    std::vector<short> samples;
    if (file == nullptr) {
        return samples;
    }
    samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    samples.resize(static_cast<std::size_t>(sf_readf_short(file, samples.data(), info.frames)));
    sf_close(file);
    return samples;
}

// The desktop's clock `seconds_ago`, as the takes log has it.
inline LocalTime local_time_ago(double seconds_ago) {
    const QDateTime when =
        QDateTime::currentDateTime().addMSecs(static_cast<qint64>(-seconds_ago * 1000));
    LocalTime time;
    time.time_of_day = when.time().toString().toStdString();
    time.date = {when.date().year(), when.date().month(), when.date().day()};
    time.wall = {when.time().hour(), when.time().minute(), when.time().second(),
                 when.offsetFromUtc()};
    return time;
}

class UploadsRun {
  public:
    UploadsRun()
        : log_(std::make_unique<TakeLogListeners>(std::make_unique<TakeLogFile>(folder.path()))),
          room_(std::make_unique<UploadsRoom>(folder.path(), *log_)) {}

    // uploads.ini, its owner's alone.
    void settings(const std::string& text) const {
        folder.write("uploads.ini", text);
        let_others_read(folder.file("uploads.ini"), false);
    }
    // Run pressed: the file read.
    void run() { room_->run_started(); }

    // A take stored as the recorder stores it: its file, then its row.
    TakeLogEntry store(const std::string& name, const std::vector<short>& sound,
                       const std::string& talkgroup_id = "2001", double ended_ago = 1.0) {
        write_take(folder.file(name), sound,
                   name.ends_with(".flac") ? SF_FORMAT_FLAC : SF_FORMAT_WAV);
        const double seconds = static_cast<double>(sound.size()) / 22050;
        TakeLogEntry entry;
        entry.start = local_time_ago(ended_ago + seconds);
        entry.end = local_time_ago(ended_ago);
        entry.frames = static_cast<std::int64_t>(sound.size());
        entry.file_name = name;
        entry.system = "Metro";
        entry.group = "Fire";
        entry.talkgroup = "Dispatch";
        entry.talkgroup_id = talkgroup_id;
        entry.display_line1 = "Metro";
        entry.display_line2 = "Dispatch";
        entry.peak = 8000;
        if (const auto identity = identify_file(folder.file(name))) {
            entry.file_bytes = identity->bytes;
            entry.fingerprint = identity->fingerprint;
        }
        log_->add(entry);
        return entry;
    }
    void add_row(const TakeLogEntry& entry) { log_->add(entry); }

    // uploads.csv's rows without the header, each from its file on.
    std::vector<std::vector<std::string>> rows() const {
        std::vector<std::vector<std::string>> rows = csv_rows(folder.read("uploads.csv"));
        if (!rows.empty()) {
            rows.erase(rows.begin());
        }
        for (auto& row : rows) {
            row.erase(row.begin());
        }
        return rows;
    }
    bool wait_for_rows(std::size_t count,
                       std::chrono::milliseconds limit = std::chrono::seconds(30)) const {
        return launch::wait_until(
            [&] { return rows().size() >= count; }, limit,
            [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
    }
    std::optional<UploadsNote> note() const { return room_->note(); }
    std::vector<TargetView> targets() const { return room_->targets(); }
    // Waits until a target's state holds `text`.
    bool wait_for_state(const std::string& text,
                        std::chrono::milliseconds limit = std::chrono::seconds(30)) const {
        return launch::wait_until(
            [&] {
                for (const TargetView& target : targets()) {
                    if (target.reason.find(text) != std::string::npos) {
                        return true;
                    }
                }
                return false;
            },
            limit, [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
    }
    // The takes log, and the takes the uploads hold, as keeping has them.
    TakeLog& log() { return *log_; }
    const TakesToKeep& held() const { return *room_; }
    // Ends the uploads as closing the window does.
    void end() { room_.reset(); }
    // Taperly started again on the same folder.
    void start_again() {
        room_.reset();
        log_ = std::make_unique<TakeLogListeners>(std::make_unique<TakeLogFile>(folder.path()));
        room_ = std::make_unique<UploadsRoom>(folder.path(), *log_);
    }

    TempFolder folder;

  private:
    std::unique_ptr<TakeLogListeners> log_;
    std::unique_ptr<UploadsRoom> room_;
};

}  // namespace taperly::testing
