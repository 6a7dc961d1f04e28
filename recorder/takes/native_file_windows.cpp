// The build may have set these already (Qt's does for its users).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <string_view>
#include <utility>
#include <vector>

#include "recorder/takes/native_file.h"

namespace taperly {

namespace {

HANDLE as_handle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// The reasons callers report as strerror() words them, as on every system.
void set_errno_from(DWORD error) {
    switch (error) {
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            errno = EEXIST;
            break;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            errno = ENOENT;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            errno = EACCES;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            errno = ENOSPC;
            break;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_DIRECTORY:
        case ERROR_INVALID_PARAMETER:
            errno = EINVAL;
            break;
        case ERROR_FILENAME_EXCED_RANGE:
            errno = ENAMETOOLONG;
            break;
        case ERROR_NOT_SAME_DEVICE:
            errno = EXDEV;
            break;
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
            errno = ENOSYS;
            break;
        case ERROR_TOO_MANY_LINKS:
            errno = EMLINK;
            break;
        default:
            errno = EIO;
            break;
    }
}

std::wstring utf16(const std::string& text) {
    std::wstring wide;
    const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                            static_cast<int>(text.size()), nullptr, 0);
    if (units > 0) {
        wide.resize(static_cast<std::size_t>(units));
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                              static_cast<int>(text.size()), wide.data(), units);
    }
    return wide;
}

// Whether a path has a "." or ".." among its names.
bool has_dot_names(const std::wstring& path) {
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) {
            end = path.size();
        }
        const std::wstring_view name(path.data() + start, end - start);
        if (name == L"." || name == L"..") {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// The UTF-16 path for the system's wide calls. A full path gets the "\\?\"
// form, which the system takes as it is, without the 260-character limit of
// ordinary paths, so that a take in a deep folder is saved all the same.
std::wstring wide_path(const std::string& path) {
    std::wstring tidy;
    for (wchar_t unit : utf16(path)) {
        unit = unit == L'/' ? L'\\' : unit;
        // Doubled separators would be empty names in that form.
        if (unit != L'\\' || tidy.size() < 2 || tidy.back() != L'\\') {
            tidy.push_back(unit);
        }
    }
    // There "." and ".." would be names of their own.
    if (has_dot_names(tidy)) {
        return tidy;
    }
    if (tidy.size() > 2 && tidy[1] == L':' && tidy[2] == L'\\') {
        return L"\\\\?\\" + tidy;
    }
    if (tidy.rfind(L"\\\\", 0) == 0 && tidy.rfind(L"\\\\?\\", 0) != 0) {
        return L"\\\\?\\UNC\\" + tidy.substr(2);
    }
    return tidy;
}

// Whether a name in the path is longer than Windows' file systems hold. For
// such a name Windows says the path is not valid and Wine that it is not
// there: neither tells the user what is wrong.
bool has_overlong_name(const std::wstring& path) {
    std::size_t run = 0;
    for (const wchar_t unit : path) {
        run = unit == L'\\' ? 0 : run + 1;
        if (run > 255) {
            return true;
        }
    }
    return false;
}

// The reason for a failed call on `path`, with a name too long told as such.
void set_errno_for(DWORD error, const std::wstring& path) {
    set_errno_from(error);
    if ((errno == ENOENT || errno == EINVAL) && has_overlong_name(path)) {
        errno = ENAMETOOLONG;
    }
}

NativeFile failed_with(DWORD error) {
    set_errno_from(error);
    return {};
}

std::string random_letters(std::size_t count) {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 pick{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> any(0, std::size(kLetters) - 2);
    std::string letters;
    for (std::size_t i = 0; i < count; ++i) {
        letters.push_back(kLetters[any(pick)]);
    }
    return letters;
}

// With the right to delete: renaming and removing go through the handle
// (SetFileInformationByHandle), which needs it.
HANDLE create(const std::wstring& path, DWORD attributes, DWORD sharing) {
    return ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, sharing, nullptr,
                         CREATE_NEW, attributes, nullptr);
}

// A hidden take is not shared for deleting: that is what tells a Taperly
// starting in the same folder that it is still being written, as a lock does
// elsewhere. Claiming a file asks for the right to delete it.
constexpr DWORD kHeldSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kClaimedSharing = FILE_SHARE_READ;
constexpr DWORD kOpenSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

template <typename Info>
bool set_information(std::intptr_t handle, FILE_INFO_BY_HANDLE_CLASS kind, Info& info,
                     DWORD size = sizeof(Info)) {
    if (!::SetFileInformationByHandle(as_handle(handle), kind, &info, size)) {
        set_errno_from(::GetLastError());
        return false;
    }
    return true;
}

}  // namespace

NativeFile NativeFile::create_hidden(const std::string& folder, const std::string& prefix,
                                     std::string& path, const std::string& suffix) {
    const bool ends_in_separator =
        !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
    const std::string start = ends_in_separator ? folder + prefix : folder + "\\" + prefix;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = start + random_letters(6) + suffix;
        const HANDLE handle = create(wide_path(candidate), FILE_ATTRIBUTE_HIDDEN, kHeldSharing);
        if (handle != INVALID_HANDLE_VALUE) {
            path = candidate;
            return NativeFile(reinterpret_cast<std::intptr_t>(handle));
        }
        if (::GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    return failed_with(::GetLastError());
}

NativeFile NativeFile::create_new(const std::string& path) {
    const std::wstring wide = wide_path(path);
    const HANDLE handle = create(wide, FILE_ATTRIBUTE_NORMAL, kOpenSharing);
    if (handle == INVALID_HANDLE_VALUE) {
        set_errno_for(::GetLastError(), wide);
        return {};
    }
    return NativeFile(reinterpret_cast<std::intptr_t>(handle));
}

NativeFile NativeFile::open_to_append(const std::string& path) {
    const HANDLE handle =
        ::CreateFileW(wide_path(path).c_str(), GENERIC_READ | GENERIC_WRITE, kOpenSharing, nullptr,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return handle == INVALID_HANDLE_VALUE ? failed_with(::GetLastError())
                                          : NativeFile(reinterpret_cast<std::intptr_t>(handle));
}

NativeFile NativeFile::claim(const std::string& path, Claim& outcome) {
    outcome = Claim::kFailed;
    // A reparse point is opened as itself, never followed out of the folder.
    const HANDLE handle = ::CreateFileW(
        wide_path(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, kClaimedSharing, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_SHARING_VIOLATION) {
            outcome = Claim::kHeld;
        }
        return failed_with(error);
    }
    NativeFile file(reinterpret_cast<std::intptr_t>(handle));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(handle, &information)) {
        return failed_with(::GetLastError());
    }
    if ((information.dwFileAttributes &
         (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        errno = EINVAL;
        return {};
    }
    outcome = Claim::kClaimed;
    return file;
}

bool NativeFile::close() {
    if (!is_open()) {
        return true;
    }
    if (!::CloseHandle(as_handle(std::exchange(handle_, kNone)))) {
        set_errno_from(::GetLastError());
        return false;
    }
    return true;
}

std::int64_t NativeFile::read_at(std::int64_t offset, void* into, std::int64_t count) const {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD asked = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
    DWORD got = 0;
    if (!::ReadFile(as_handle(handle_), into, asked, &got, &at)) {
        if (::GetLastError() == ERROR_HANDLE_EOF) {
            return 0;
        }
        set_errno_from(::GetLastError());
        return -1;
    }
    return got;
}

std::int64_t NativeFile::write_at(std::int64_t offset, const void* from, std::int64_t count) {
    const char* bytes = static_cast<const char*>(from);
    std::int64_t done = 0;
    while (done < count) {
        OVERLAPPED at{};
        const std::int64_t here = offset + done;
        at.Offset = static_cast<DWORD>(here & 0xFFFFFFFF);
        at.OffsetHigh = static_cast<DWORD>(here >> 32);
        const std::int64_t left = count - done;
        const DWORD asked = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
        DWORD put = 0;
        if (!::WriteFile(as_handle(handle_), bytes + done, asked, &put, &at)) {
            set_errno_from(::GetLastError());
            break;
        }
        if (put == 0) {
            errno = EIO;
            break;
        }
        done += put;
    }
    return done;
}

std::int64_t NativeFile::append(const void* from, std::int64_t count) {
    // Both halves of the offset at their largest: at the end, as it is then.
    OVERLAPPED at{};
    at.Offset = at.OffsetHigh = 0xFFFFFFFF;
    DWORD put = 0;
    if (!::WriteFile(as_handle(handle_), from, static_cast<DWORD>(count), &put, &at)) {
        set_errno_from(::GetLastError());
    }
    return put;
}

std::int64_t NativeFile::size() const {
    LARGE_INTEGER length{};
    if (!::GetFileSizeEx(as_handle(handle_), &length)) {
        set_errno_from(::GetLastError());
        return -1;
    }
    return length.QuadPart;
}

bool NativeFile::resize(std::int64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = size;
    return set_information(handle_, FileEndOfFileInfo, end);
}

bool NativeFile::flush() {
    if (!::FlushFileBuffers(as_handle(handle_))) {
        set_errno_from(::GetLastError());
        return false;
    }
    return true;
}

std::int64_t NativeFile::name_count() const {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(as_handle(handle_), &information)) {
        set_errno_from(::GetLastError());
        return -1;
    }
    return information.nNumberOfLinks;
}

NameAdded NativeFile::rename(const std::string& /*from*/, const std::string& to) {
    // Through the handle: a claimed file shares no deleting, so no name of
    // it can be changed by path.
    const std::wstring target = wide_path(to);
    const std::size_t name_bytes = target.size() * sizeof(wchar_t);
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + name_bytes);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(name_bytes);
    std::memcpy(rename->FileName, target.c_str(), name_bytes + sizeof(wchar_t));
    if (!::SetFileInformationByHandle(as_handle(handle_), FileRenameInfo, rename,
                                      static_cast<DWORD>(buffer.size()))) {
        set_errno_for(::GetLastError(), target);
        return errno == EEXIST ? NameAdded::kNameTaken : NameAdded::kFailed;
    }
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    set_information(handle_, FileBasicInfo, basic);
    return NameAdded::kAdded;
}

bool NativeFile::remove(const std::string& /*path*/) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return set_information(handle_, FileDispositionInfo, disposition);
}

NameAdded add_name(const std::string& from, const std::string& to) {
    const std::wstring source = wide_path(from);
    // Both names are one file with one set of attributes: the saved take
    // must not be hidden.
    ::SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_NORMAL);
    const std::wstring target = wide_path(to);
    if (::CreateHardLinkW(target.c_str(), source.c_str(), nullptr)) {
        return NameAdded::kAdded;
    }
    set_errno_for(::GetLastError(), target);
    return errno == EEXIST ? NameAdded::kNameTaken : NameAdded::kFailed;
}

bool remove_name(const std::string& path) {
    if (::DeleteFileW(wide_path(path).c_str())) {
        return true;
    }
    set_errno_from(::GetLastError());
    return false;
}

// NTFS journals its names, and FAT's are written through when the file's
// own data is flushed: there is no folder to wait for.
bool flush_folder(const std::string& /*folder*/) {
    return true;
}

std::optional<std::int64_t> folder_free_bytes(const std::string& folder) {
    std::wstring path = wide_path(folder);
    if (path.empty() || path.back() != L'\\') {
        path.push_back(L'\\');
    }
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(path.c_str(), &available, nullptr, nullptr)) {
        set_errno_from(::GetLastError());
        return std::nullopt;
    }
    return static_cast<std::int64_t>(available.QuadPart);
}

bool is_out_of_room(int error) {
    return error == ENOSPC;
}

std::string_view name_breakers() {
    return std::string_view("/\\:\0", 4);
}

}  // namespace taperly
