#pragma once

#include <string>
#include <vector>

#include "tracking/clock.h"

namespace taperly {

// The longest file name the file systems Taperly writes to accept, in bytes.
inline constexpr std::size_t kMaxFileNameBytes = 255;

// Replaces in place, one pass each, space / \ : * ? and " by "-", and any
// control character too, and each of `refused` (what the takes folder
// refuses besides, refused_name_characters), so that the text can stand in a
// file name.
void clean_name_piece(std::string& text, std::string_view refused = {});

// A time of day as it stands in a file name: ":" and then " " become "-".
std::string time_piece(std::string time_of_day);

// "mm-dd-yyyy".
std::string date_text(const CalendarDate& date);

// Scanner texts (Latin-1) encoded as UTF-8.
std::string latin1_to_utf8(const std::string& latin1);

// The take's file name: the texts (cleaned, Latin-1), then the start and end
// pieces and the date (UTF-8), joined by "_", with `extension` (".wav",
// ".flac") after them. Texts
// are shortened from their ends, longest first, until the name fits in
// `room` bytes; a room too small for even the times and date is out of
// reach, and then the name is only kept within what one name may hold. A
// name never begins with ".": a leading dot becomes "-".
std::string compose_take_name(std::vector<std::string> texts, const std::string& start,
                              const std::string& end, const std::string& date,
                              std::size_t room = kMaxFileNameBytes,
                              const std::string& extension = ".wav");

}  // namespace taperly
