#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

namespace taperly {

// The UTF-8 text as the wide characters the system's calls take.
std::wstring wide(const std::string& text);
// The system's own words for `error`, to go after a colon in a sentence.
std::string system_text(DWORD error);
// Why a port could not be opened, in a user's words.
std::string open_failure_reason(DWORD error);
// Errors a line gives once its device is no longer there: the adapter was
// pulled, or its driver let go of it.
bool means_device_gone(DWORD error);
// What failed `doing` means for the line, in a user's words.
std::string failure(const char* doing, DWORD error);

}  // namespace taperly
