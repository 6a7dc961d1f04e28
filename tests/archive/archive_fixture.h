#pragma once

// What the archive's tests share: a desktop time zone with a clock change,
// takes and their rows written as Taperly writes them, and an index opened
// over a folder to the end.

#include <sndfile.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/civil_time.h"
#include "archive/index_opening.h"
#include "archive/local_zone.h"
#include "archive/take_index.h"
#include "recorder/takes/take_layout.h"
#include "support/temp_folder.h"
#include "tracking/take_log.h"

namespace taperly::testing {

// Five hours west of UTC, four until 1 November 2026 06:00 UTC, when
// summer time ended.
class NewYorkishZone : public LocalZone {
  public:
    static constexpr std::int64_t kChange = 1793512800;  // 2026-11-01T06:00:00Z
    int offset_at(std::int64_t utc) const override { return utc < kChange ? -4 * 3600 : -5 * 3600; }
    std::int64_t utc_of_local(std::int64_t local) const override {
        // The hour repeated at the change is read as its first time.
        return local + 4 * 3600 < kChange ? local + 4 * 3600 : local + 5 * 3600;
    }
};

// "2026-12-05T21:05:07-05:00" (or without the offset) as the log's clock
// reading; offsets of whole and half hours.
inline LocalTime at(const std::string& iso) {
    LocalTime time;
    std::sscanf(iso.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &time.date.year, &time.date.month,
                &time.date.day, &time.wall.hour, &time.wall.minute, &time.wall.second);
    if (iso.size() == 25) {
        const int hours = std::stoi(iso.substr(20, 2));
        const int minutes = std::stoi(iso.substr(23, 2));
        time.wall.utc_offset_seconds = (iso[19] == '-' ? -1 : 1) * (hours * 3600 + minutes * 60);
    }
    return time;
}

inline std::int64_t utc_at(const std::string& iso) {
    return utc_seconds(at(iso));
}

// A row as the program writes it when a take is saved.
inline TakeLogEntry saved_row(const std::string& name, const std::string& start, double seconds,
                              const TakeLogEntry& texts = {}) {
    TakeLogEntry row = texts;
    row.file_name = name;
    row.outcome = TakeOutcome::kSaved;
    row.start = at(start);
    row.offsets_known = start.size() == 25;
    LocalTime end = *row.start;
    end.wall.second += static_cast<int>(seconds);
    row.end = end;
    row.frames = static_cast<std::int64_t>(seconds * 22050);
    row.peak = 16384;
    return row;
}

inline TakeLogEntry texts(const std::string& system, const std::string& group,
                          const std::string& talkgroup, const std::string& line1 = {},
                          const std::string& line2 = {}) {
    TakeLogEntry row;
    row.system = system;
    row.group = group;
    row.talkgroup = talkgroup;
    row.display_line1 = line1;
    row.display_line2 = line2;
    return row;
}

inline std::string log_of(const std::vector<TakeLogEntry>& rows) {
    std::string log = take_log_header();
    for (const TakeLogEntry& row : rows) {
        log += take_log_row(row);
    }
    return log;
}

// A WAV take of `frames` samples of 1000 as Taperly writes it, with `tags`.
inline std::string wave_take(const TakeTags& tags, std::int64_t frames) {
    const TakeHead head = take_head(tags, static_cast<std::uint32_t>(frames * 2));
    std::string bytes(head.begin(), head.end());
    for (std::int64_t i = 0; i < frames; ++i) {
        bytes += static_cast<char>(1000 & 0xFF);
        bytes += static_cast<char>(1000 >> 8);
    }
    return bytes;
}

// A FLAC take of `samples`, with a title, comment and date as Taperly
// stores them, written into `folder` as `stem`.flac; where this libsndfile
// writes no FLAC (the Windows build's), a WAV `stem`.wav instead, and the
// FLAC rows of a test are left out. The name written.
inline std::string write_flac(const std::string& folder, const std::string& stem,
                              const std::vector<std::int16_t>& samples, const TakeTags& tags,
                              int rate = 22050) {
    for (const int format : {SF_FORMAT_FLAC, SF_FORMAT_WAV}) {
        const std::string name = stem + (format == SF_FORMAT_FLAC ? ".flac" : ".wav");
        const std::string path = folder + "/" + name;
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = 1;
        info.format = format | SF_FORMAT_PCM_16;
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        if (file == nullptr) {
            std::remove(path.c_str());
            std::printf("left out, as this libsndfile writes no FLAC: %s.flac\n", stem.c_str());
            continue;
        }
        sf_set_string(file, SF_STR_TITLE, tags.title.c_str());
        sf_set_string(file, SF_STR_COMMENT, tags.comment.c_str());
        sf_set_string(file, SF_STR_DATE, tags.created.c_str());
        sf_write_short(file, samples.data(), static_cast<sf_count_t>(samples.size()));
        sf_close(file);
        return name;
    }
    return {};
}

// Opens the index of `folder` to its end, as the Takes window does in the
// background.
inline IndexChanges open_to_end(TakeIndex& index) {
    IndexOpening opening(index);
    IndexChanges changes;
    OpenProgress progress;
    while (opening.step(changes, progress)) {
    }
    return changes;
}

}  // namespace taperly::testing
