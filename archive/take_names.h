#pragma once

#include <optional>
#include <string>

#include "archive/archived_take.h"
#include "tracking/clock.h"

namespace taperly {

// What a take's name tells of it, for a take that has neither a row in the
// log nor tags in its file: the texts it was named after (dashes read as
// the spaces they mostly were), and its start as the desktop's local time.
struct NameReading {
    TakeTexts texts;
    std::optional<LocalTime> start;
};

// Reads Taperly's names: "<texts>_<start>_<end>_<date>" (three texts are a
// trunked call's system, group and talkgroup, unless the second is "-" as a
// display-named take's missing second capture is; four are display texts)
// and "unfinished_<start>_<date>[_N]". A take that ends after midnight
// carries its end's date, so a start later in the day than its end began the
// day before. Other names tell nothing.
NameReading read_take_name(const std::string& name);

// The words a search finds in `name` besides those of `texts`, joined by
// spaces: for Taperly's names, the texts a name holds but the row does not
// (a display-named take's second captures), never the times and the date,
// which the time filters find and which would otherwise make every number
// a match; for other names every word. A word that begins a word of the
// texts is left out, as a search finds it there.
std::string name_words(const std::string& name, const TakeTexts& texts);

}  // namespace taperly
