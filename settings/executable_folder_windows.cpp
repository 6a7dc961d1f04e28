// The build may have set these already (Qt's does for its users).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "settings/executable_folder.h"

namespace taperly {

namespace {

std::string utf8(const std::wstring& wide) {
    std::string text;
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                            nullptr, 0, nullptr, nullptr);
    if (bytes > 0) {
        text.resize(static_cast<std::size_t>(bytes));
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                              bytes, nullptr, nullptr);
    }
    return text;
}

}  // namespace

std::string executable_folder() {
    // The system cuts the path short, without saying so other than by
    // filling the buffer, when the buffer is too small.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::string() : utf8(path.substr(0, separator));
}

}  // namespace taperly
