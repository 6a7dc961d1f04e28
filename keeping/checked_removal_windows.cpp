// The build may have set these already (Qt's does for its users).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cerrno>

#include "keeping/checked_removal.h"

namespace taperly {

namespace {

std::wstring wide_path(const std::string& path) {
    std::wstring wide;
    const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(),
                                            static_cast<int>(path.size()), nullptr, 0);
    if (units > 0) {
        wide.resize(static_cast<std::size_t>(units));
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(),
                              static_cast<int>(path.size()), wide.data(), units);
    }
    for (wchar_t& unit : wide) {
        unit = unit == L'/' ? L'\\' : unit;
    }
    return wide;
}

// As strerror() words the reasons on every system.
Removal failed(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return Removal::kGone;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            errno = EACCES;
            break;
        default:
            errno = EIO;
            break;
    }
    return Removal::kFailed;
}

class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle_);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

}  // namespace

Removal remove_if_unchanged(const std::string& path, const TakeIdentity& stored) {
    // Opened as itself, never through a reparse point, with the right to
    // delete it and shared only for reading: nobody can write to it or put
    // another file under its name until it is gone.
    const Handle file(::CreateFileW(
        wide_path(path).c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        return failed(::GetLastError());
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(file.get(), &information)) {
        return failed(::GetLastError());
    }
    if ((information.dwFileAttributes &
         (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return Removal::kNotPlain;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) {
        return failed(::GetLastError());
    }
    const std::optional<TakeIdentity> identity =
        identity_of(size.QuadPart, [&file](std::int64_t offset, char* into, std::int64_t count) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            DWORD got = 0;
            if (!::ReadFile(file.get(), into, static_cast<DWORD>(count), &got, &at)) {
                return std::int64_t{-1};
            }
            return static_cast<std::int64_t>(got);
        });
    if (!identity) {
        return failed(::GetLastError());
    }
    if (*identity != stored) {
        return Removal::kChanged;
    }
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    if (!::SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition,
                                      sizeof disposition)) {
        return failed(::GetLastError());
    }
    return Removal::kRemoved;
}

}  // namespace taperly
