#include "archive/take_file_reading.h"

#include <sndfile.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <vector>

#include "archive/sound_reader.h"
#include "recorder/takes/riff_bytes.h"
#include "settings/utf8_path.h"

namespace taperly {

namespace {

using riff::is_id;
using riff::u16_at;
using riff::u32_at;

constexpr std::size_t kHeadBytes = 64 * 1024;

// A tag's text: up to its closing zero.
std::string text_at(const unsigned char* bytes, std::size_t room) {
    std::size_t length = 0;
    while (length < room && bytes[length] != 0) {
        ++length;
    }
    return std::string(reinterpret_cast<const char*>(bytes), length);
}

// "2026-12-05T21:05:07-05:00" as the creation date is written.
std::optional<LocalTime> created_at(const std::string& text, bool& offset_known) {
    LocalTime time;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &time.date.year, &time.date.month,
                    &time.date.day, &time.wall.hour, &time.wall.minute, &time.wall.second,
                    &consumed) != 6 ||
        consumed != 19) {
        return std::nullopt;
    }
    int hours = 0, minutes = 0;
    offset_known = text.size() == 25 && (text[19] == '+' || text[19] == '-') &&
                   std::sscanf(text.c_str() + 20, "%2d:%2d", &hours, &minutes) == 2;
    if (offset_known) {
        time.wall.utc_offset_seconds = (text[19] == '-' ? -1 : 1) * (hours * 3600 + minutes * 60);
    }
    return time;
}

struct Tags {
    std::string title;
    std::string comment;
    std::string created;
    std::string origination;
};

FileReading reading_of(const Tags& tags, std::int64_t milliseconds) {
    FileReading reading;
    reading.readable = true;
    reading.milliseconds = milliseconds;
    reading.texts = texts_of_comment(tags.comment);
    if (!reading.texts && !tags.title.empty()) {
        reading.texts = TakeTexts{};
        reading.texts->talkgroup = tags.title;
    }
    reading.start = created_at(tags.created, reading.offset_known);
    if (!reading.start && tags.origination.size() == 18) {
        bool ignored = false;
        reading.start =
            created_at(tags.origination.substr(0, 10) + "T" + tags.origination.substr(10), ignored);
    }
    return reading;
}

void read_info(const unsigned char* at, std::size_t size, Tags& tags) {
    for (std::size_t offset = 4; offset + 8 <= size;) {
        const std::size_t length = u32_at(at + offset + 4);
        const unsigned char* text = at + offset + 8;
        const std::size_t room = std::min(length, size - offset - 8);
        if (is_id(at + offset, "INAM")) {
            tags.title = text_at(text, room);
        } else if (is_id(at + offset, "ICMT")) {
            tags.comment = text_at(text, room);
        } else if (is_id(at + offset, "ICRD")) {
            tags.created = text_at(text, room);
        }
        offset += 8 + length + (length & 1);
    }
}

FileReading read_wave(const std::string& path) {
    std::ifstream file(utf8_path(path), std::ios::binary);
    std::vector<unsigned char> head(kHeadBytes);
    file.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    const auto got = static_cast<std::size_t>(file.gcount());
    if (got < 12 || !is_id(head.data(), "RIFF") || !is_id(head.data() + 8, "WAVE")) {
        return {};
    }
    file.clear();
    file.seekg(0, std::ios::end);
    const std::int64_t file_size = file.tellg();
    Tags tags;
    std::int64_t bytes_per_second = 0;
    for (std::size_t at = 12; at + 8 <= got;) {
        const unsigned char* chunk = head.data() + at;
        const std::size_t size = u32_at(chunk + 4);
        const std::size_t held = std::min(size, got - at - 8);
        if (is_id(chunk, "fmt ") && held >= 16) {
            bytes_per_second = u32_at(chunk + 16);
        } else if (is_id(chunk, "LIST") && held >= 4 && is_id(chunk + 8, "INFO")) {
            read_info(chunk + 8, held, tags);
        } else if (is_id(chunk, "bext") && held >= 338) {
            tags.origination = text_at(chunk + 8 + 320, 18);
        } else if (is_id(chunk, "data")) {
            // A take cut short may tell no size, or more than it holds.
            const std::int64_t held_bytes =
                std::min<std::int64_t>(size, file_size - static_cast<std::int64_t>(at) - 8);
            if (bytes_per_second <= 0) {
                return {};
            }
            return reading_of(tags, held_bytes * 1000 / bytes_per_second);
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

FileReading read_flac(const std::string& path) {
    const SoundReader sound(path);
    if (!sound.is_open() || sound.sample_rate() <= 0) {
        return {};
    }
    const Tags tags{sound.tag(SF_STR_TITLE), sound.tag(SF_STR_COMMENT), sound.tag(SF_STR_DATE), {}};
    return reading_of(tags, sound.frames() * 1000 / sound.sample_rate());
}

}  // namespace

FileReading read_take_file(const std::string& path) {
    const FileReading wave = read_wave(path);
    return wave.readable ? wave : read_flac(path);
}

std::optional<TakeTexts> texts_of_comment(const std::string& comment) {
    TakeTexts texts;
    const std::array<std::pair<std::string, std::string*>, 5> labels = {{
        {"System: ", &texts.system},
        {"Group: ", &texts.group},
        {"Talkgroup: ", &texts.talkgroup},
        {"Display line 1: ", &texts.display_line1},
        {"Display line 2: ", &texts.display_line2},
    }};
    // Where each label's text begins and the label before it ends; a text
    // may hold "; " itself, so only a known label after it ends it.
    std::vector<std::pair<std::size_t, std::size_t>> found(labels.size(), {std::string::npos, 0});
    std::size_t from = 0;
    bool any = false;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const std::string& label = labels[i].first;
        std::size_t at = from == 0 && comment.rfind(label, 0) == 0 ? 0 : std::string::npos;
        if (at == std::string::npos) {
            const std::size_t joined = comment.find("; " + label, from);
            at = joined == std::string::npos ? joined : joined + 2;
        }
        if (at != std::string::npos) {
            found[i] = {at, at + label.size()};
            from = at + label.size();
            any = true;
        }
    }
    if (!any) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < labels.size(); ++i) {
        if (found[i].first == std::string::npos) {
            continue;
        }
        std::size_t end = comment.size();
        for (std::size_t later = i + 1; later < labels.size(); ++later) {
            if (found[later].first != std::string::npos) {
                end = found[later].first - 2;
                break;
            }
        }
        *labels[i].second = comment.substr(found[i].second, end - found[i].second);
    }
    return texts;
}

}  // namespace taperly
