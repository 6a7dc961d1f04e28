#include "uploads/windows_text.h"

#include <windows.h>

namespace taperly {

std::wstring wide_text(const std::string& utf8) {
    const int units =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                          units);
    return wide;
}

}  // namespace taperly
