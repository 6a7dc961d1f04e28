#pragma once

#include <string>

#include "tracking/take_identity.h"

namespace taperly {

enum class Removal {
    kRemoved,
    // Nothing has that name.
    kGone,
    // A plain file, but not the one stored: edited, replaced, or replaced
    // while it was being looked at.
    kChanged,
    // A link, a folder or anything else that is no plain file.
    kNotPlain,
    // It could not be looked at or removed; errno says why.
    kFailed,
};

// Removes the file at `path` only when it is the plain file `stored`
// identifies, proven on the file that is removed: it is opened without
// following a link, identified through that opening, and removed only as
// long as its name still leads to it (through the opening itself on
// Windows, where nobody may write to it meanwhile). From
// checked_removal_posix.cpp or checked_removal_windows.cpp, as the build
// picks.
Removal remove_if_unchanged(const std::string& path, const TakeIdentity& stored);

}  // namespace taperly
