#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "archive/archived_take.h"
#include "tracking/clock.h"

namespace taperly {

// What a take's file says of itself, for a take the log has no row of.
struct FileReading {
    // A WAV or FLAC file whose sound could be measured.
    bool readable = false;
    std::int64_t milliseconds = 0;
    // The texts its tags hold (its comment's labelled texts, or its title);
    // none when it has none.
    std::optional<TakeTexts> texts;
    // Its start: the creation date with its UTC offset (`offset_known`), or
    // the Broadcast WAV origination date and time without one.
    std::optional<LocalTime> start;
    bool offset_known = false;
};

// Reads the WAV chunks Taperly writes (fmt, data, LIST/INFO INAM, ICMT and
// ICRD, bext), wherever they lie, and a FLAC file's Vorbis comments through
// libsndfile.
FileReading read_take_file(const std::string& path);

// The texts of a comment as Taperly labels them, "System: …; Group: …;
// Talkgroup: …; Display line 1: …; Display line 2: …" (any of them may be
// missing); none when it holds no such label.
std::optional<TakeTexts> texts_of_comment(const std::string& comment);

}  // namespace taperly
