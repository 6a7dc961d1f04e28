#pragma once

#include <string>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <fstream>
#include <iterator>
#endif

namespace taperly::testing {

// Every byte of the file at `path` (UTF-8), "" when it cannot be read. On
// Windows a take being recorded is held with the right to rename it, so
// only a reader that lets it be renamed (shares deleting) may open it.
inline std::string read_shared(const std::string& path) {
#ifdef _WIN32
    std::wstring wide(static_cast<std::size_t>(::MultiByteToWideChar(
                          CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0)),
                      L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(),
                          static_cast<int>(wide.size()));
    const HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::string bytes;
    char buffer[1 << 16];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    ::CloseHandle(file);
    return bytes;
#else
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
#endif
}

}  // namespace taperly::testing
