#pragma once

#include <string>
#include <string_view>

namespace taperly {

// Whether `name` has the shape Taperly gives its takes, and so may be one:
// texts, the start and end times and the date joined by "_",
// "…_9-05-07-PM_9-05-31-PM_12-05-2026.wav" (or ".flac"), or a take a crash
// left, "unfinished_9-05-07-PM_12-05-2026.wav" (with "_2", "_3" … when that
// name was taken). A time is the locale's, its ":" and " " turned into "-":
// two or three numbers of one or two digits 0 to 9 among anything else a
// cleaned name may hold. Nothing of what a take name is cleaned of is in it
// (space / \ : * ? " and control characters), so it names a file of the folder
// itself, and it does not begin with ".". The program, its help page, icon,
// settings, logs and the keeper's own state never have this shape.
bool has_take_name_shape(std::string_view name);

// `name` as a folder that ignores case compares it: letters of ASCII and of
// Latin-1 (the scanner's texts) in lower case.
std::string folded_name(std::string_view name);

}  // namespace taperly
