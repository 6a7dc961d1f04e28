#include "archive/take_export.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>

#include "archive/civil_time.h"
#include "archive/export_file.h"
#include "archive/sound_reader.h"
#include "recorder/takes/riff_bytes.h"
#include "recorder/takes/take_format.h"
#include "settings/file_exists.h"
#include "settings/utf8_path.h"
#include "tracking/take_log_codec.h"

namespace taperly {

namespace {

using riff::put_u16;
using riff::put_u32;

constexpr std::int64_t kBlockFrames = 1 << 15;

LocalTime local_time_at(std::int64_t utc, int offset) {
    const std::int64_t local = utc + offset;
    const std::int64_t days = (local >= 0 ? local : local - 86399) / 86400;
    const auto second_of_day = static_cast<int>(local - days * 86400);
    return {{},
            civil_from_days(days),
            {second_of_day / 3600, second_of_day / 60 % 60, second_of_day % 60, offset}};
}

std::string why(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// The missing takes' names, to be said.
std::string left_out(int missing) {
    return missing == 0 ? std::string()
                        : std::to_string(missing) + (missing == 1 ? " take is" : " takes are") +
                              " gone from the takes folder and left out";
}

void add(std::string& problems, const std::string& problem) {
    if (!problem.empty()) {
        problems += (problems.empty() ? "" : "; ") + problem;
    }
}

std::string extension_of(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

bool copy_file(const std::string& from, ExportFile& to) {
    std::ifstream in(utf8_path(from), std::ios::binary);
    if (!in) {
        return false;
    }
    std::vector<char> buffer(1 << 16);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        if (in.gcount() > 0 && !to.write(buffer.data(), in.gcount())) {
            return false;
        }
    }
    return in.eof();
}

void put_text_chunk(std::string& into, const char* id, std::uint32_t cue, const std::string& text) {
    const auto size = static_cast<std::uint32_t>(4 + text.size() + 1);
    unsigned char head[12];
    std::memcpy(head, id, 4);
    put_u32(head + 4, size);
    put_u32(head + 8, cue);
    into.append(reinterpret_cast<const char*>(head), sizeof head);
    into += text;
    into += '\0';
    if (size % 2 == 1) {
        into += '\0';
    }
}

// fmt, cue and LIST/adtl, and the data chunk's start, of a joined file.
std::string joined_header(int rate, int channels, const std::vector<std::int64_t>& starts,
                          const std::vector<std::string>& labels, std::uint32_t data_bytes) {
    std::string chunks;
    unsigned char format[24];
    std::memcpy(format, "fmt ", 4);
    put_u32(format + 4, 16);
    put_u16(format + 8, 1);
    put_u16(format + 10, static_cast<std::uint16_t>(channels));
    put_u32(format + 12, static_cast<std::uint32_t>(rate));
    put_u32(format + 16, static_cast<std::uint32_t>(rate * channels * 2));
    put_u16(format + 20, static_cast<std::uint16_t>(channels * 2));
    put_u16(format + 22, 16);
    chunks.append(reinterpret_cast<const char*>(format), sizeof format);
    std::string cue(12, '\0');
    std::memcpy(cue.data(), "cue ", 4);
    put_u32(reinterpret_cast<unsigned char*>(cue.data()) + 4,
            static_cast<std::uint32_t>(4 + 24 * starts.size()));
    put_u32(reinterpret_cast<unsigned char*>(cue.data()) + 8,
            static_cast<std::uint32_t>(starts.size()));
    for (std::size_t i = 0; i < starts.size(); ++i) {
        unsigned char point[24] = {};
        put_u32(point, static_cast<std::uint32_t>(i + 1));
        put_u32(point + 4, static_cast<std::uint32_t>(starts[i]));
        std::memcpy(point + 8, "data", 4);
        put_u32(point + 20, static_cast<std::uint32_t>(starts[i]));
        cue.append(reinterpret_cast<const char*>(point), sizeof point);
    }
    chunks += cue;
    std::string labelled = "adtl";
    for (std::size_t i = 0; i < labels.size(); ++i) {
        put_text_chunk(labelled, "labl", static_cast<std::uint32_t>(i + 1), labels[i]);
    }
    unsigned char list[8];
    std::memcpy(list, "LIST", 4);
    put_u32(list + 4, static_cast<std::uint32_t>(labelled.size()));
    chunks.append(reinterpret_cast<const char*>(list), sizeof list);
    chunks += labelled;
    unsigned char data[8];
    std::memcpy(data, "data", 4);
    put_u32(data + 4, data_bytes);
    chunks.append(reinterpret_cast<const char*>(data), sizeof data);
    unsigned char riff[12];
    std::memcpy(riff, "RIFF", 4);
    put_u32(riff + 4, static_cast<std::uint32_t>(4 + chunks.size() + data_bytes));
    std::memcpy(riff + 8, "WAVE", 4);
    return std::string(reinterpret_cast<const char*>(riff), sizeof riff) + chunks;
}

}  // namespace

TakeLogEntry row_of_take(const ArchivedTake& take, const LocalZone& zone) {
    const TakeFacts& facts = take.facts;
    TakeLogEntry row;
    row.file_name = facts.file_name;
    row.outcome = TakeOutcome::kSaved;
    row.frames = facts.milliseconds * kTakeSampleRate / 1000;
    row.system = facts.texts.system;
    row.group = facts.texts.group;
    row.talkgroup = facts.texts.talkgroup;
    row.display_line1 = facts.texts.display_line1;
    row.display_line2 = facts.texts.display_line2;
    if (facts.start) {
        const int offset = facts.utc_offset.value_or(zone.offset_at(*facts.start));
        row.offsets_known = facts.utc_offset.has_value();
        row.start = local_time_at(*facts.start, offset);
        row.end = local_time_at(*facts.start + facts.milliseconds / 1000, offset);
    }
    if (facts.peak_decibel_tenths) {
        row.peak = static_cast<int>(
            std::lround(32768.0 * std::pow(10.0, *facts.peak_decibel_tenths / 200.0)));
    }
    return row;
}

std::string cue_label(const ArchivedTake& take, const LocalZone& zone) {
    std::string label;
    if (take.facts.start) {
        const int offset = take.facts.utc_offset.value_or(zone.offset_at(*take.facts.start));
        const LocalTime start = local_time_at(*take.facts.start, offset);
        char text[32];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", start.date.year,
                      start.date.month, start.date.day, start.wall.hour, start.wall.minute,
                      start.wall.second);
        label = text;
    }
    const std::string& talkgroup = take.facts.texts.label();
    return label.empty() || talkgroup.empty() ? label + talkgroup : label + " " + talkgroup;
}

ExportOutcome copy_takes(const std::string& folder, const std::vector<ArchivedTake>& takes,
                         const std::string& target, const LocalZone& zone,
                         const ExportProgress& progress) {
    ExportOutcome outcome;
    std::string rows = take_log_header();
    int missing = 0;
    for (const ArchivedTake& take : takes) {
        if (!take.present) {
            ++missing;
            continue;
        }
        const std::string& name = take.facts.file_name;
        ExportFile copy(target, extension_of(name));
        if (!copy.is_open() || !copy_file(join_path(folder, name), copy)) {
            outcome.problem = why(name + " could not be copied");
            break;
        }
        const std::string given = copy.name(name);
        if (given.empty()) {
            outcome.problem = why(name + " could not be named in " + target);
            break;
        }
        TakeLogEntry row = row_of_take(take, zone);
        row.file_name = given;
        rows += take_log_row(row);
        outcome.made.push_back(given);
        ++outcome.takes;
        if (!progress(outcome.takes)) {
            add(outcome.problem, "stopped");
            break;
        }
    }
    if (outcome.takes > 0) {
        ExportFile csv(target, ".csv");
        const std::string given =
            csv.is_open() && csv.write(rows.data(), static_cast<std::int64_t>(rows.size()))
                ? csv.name("takes.csv")
                : std::string();
        if (given.empty()) {
            add(outcome.problem, why("the takes' rows could not be written"));
        } else {
            outcome.made.push_back(given);
        }
    }
    add(outcome.problem, left_out(missing));
    return outcome;
}

ExportOutcome join_takes(const std::string& folder, const std::vector<ArchivedTake>& takes,
                         const std::string& target, const std::string& name, const LocalZone& zone,
                         const ExportProgress& progress) {
    ExportOutcome outcome;
    int missing = 0;
    std::vector<const ArchivedTake*> joined;
    std::vector<std::int64_t> starts;
    std::vector<std::string> labels;
    std::int64_t frames = 0;
    int rate = 0;
    int channels = 0;
    for (const ArchivedTake& take : takes) {
        if (!take.present) {
            ++missing;
            continue;
        }
        const SoundReader sound(join_path(folder, take.facts.file_name));
        if (!sound.is_open()) {
            outcome.problem = take.facts.file_name + " cannot be read: " + sound.error();
            return outcome;
        }
        if (joined.empty()) {
            rate = sound.sample_rate();
            channels = sound.channels();
        }
        if (!sound.is_16_bit() || sound.sample_rate() != rate || sound.channels() != channels) {
            outcome.problem = take.facts.file_name +
                              " is not of the first take's sound format (16-bit, " +
                              std::to_string(rate) + " Hz, " + std::to_string(channels) +
                              (channels == 1 ? " channel" : " channels") +
                              "): takes of different formats cannot be joined";
            return outcome;
        }
        joined.push_back(&take);
        starts.push_back(frames);
        labels.push_back(cue_label(take, zone));
        frames += sound.frames();
    }
    if (joined.empty()) {
        outcome.problem = left_out(missing).empty() ? "no take to join" : left_out(missing);
        return outcome;
    }
    const std::int64_t data_bytes = frames * channels * 2;
    const std::string header =
        joined_header(rate, channels, starts, labels, static_cast<std::uint32_t>(data_bytes));
    if (data_bytes + static_cast<std::int64_t>(header.size()) >
        std::numeric_limits<std::uint32_t>::max()) {
        outcome.problem = "the takes last too long for one WAV file (4 GB at most)";
        return outcome;
    }
    ExportFile file(target, ".wav");
    if (!file.is_open() || !file.write(header.data(), static_cast<std::int64_t>(header.size()))) {
        outcome.problem = why("the joined file could not be written in " + target);
        return outcome;
    }
    std::vector<std::int16_t> block(static_cast<std::size_t>(kBlockFrames * channels));
    for (std::size_t i = 0; i < joined.size(); ++i) {
        SoundReader sound(join_path(folder, joined[i]->facts.file_name));
        std::int64_t read = 0;
        for (std::int64_t got; (got = sound.read(block.data(), kBlockFrames)) > 0; read += got) {
            if (!file.write(block.data(), got * channels * 2)) {
                outcome.problem = why("the joined file could not be written");
                return outcome;
            }
        }
        const std::int64_t expected = (i + 1 < starts.size() ? starts[i + 1] : frames) - starts[i];
        if (read != expected) {
            // Its cue points would no longer be where the takes begin.
            outcome.problem = joined[i]->facts.file_name + " changed while it was being joined";
            return outcome;
        }
        if (!progress(static_cast<int>(i + 1))) {
            outcome.problem = "stopped";
            return outcome;
        }
    }
    const std::string given = file.name(name);
    if (given.empty()) {
        outcome.problem = why("the joined file could not be named in " + target);
        return outcome;
    }
    outcome.takes = static_cast<int>(joined.size());
    outcome.made.push_back(given);
    outcome.problem = left_out(missing);
    return outcome;
}

}  // namespace taperly
