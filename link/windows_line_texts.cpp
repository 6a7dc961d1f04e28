#include "link/windows_line_texts.h"

namespace taperly {

namespace {

std::string utf8(const wchar_t* text, int length) {
    std::string converted;
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (bytes > 0) {
        converted.resize(static_cast<std::size_t>(bytes));
        ::WideCharToMultiByte(CP_UTF8, 0, text, length, converted.data(), bytes, nullptr, nullptr);
    }
    return converted;
}

}  // namespace

std::wstring wide(const std::string& text) {
    std::wstring converted;
    const int characters =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (characters > 0) {
        converted.resize(static_cast<std::size_t>(characters));
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                              converted.data(), characters);
    }
    return converted;
}

std::string system_text(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = length > 0 ? utf8(buffer, static_cast<int>(length)) : std::string();
    ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' ||
                             text.back() == '.')) {
        text.pop_back();
    }
    if (text.empty()) {
        return "system error " + std::to_string(error);
    }
    if (text[0] >= 'A' && text[0] <= 'Z') {
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    }
    return text;
}

std::string open_failure_reason(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "no such device";
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            // Windows lets one program at a time have a COM port, and says
            // "access denied" to the next.
            return "in use by another program";
        default:
            return system_text(error);
    }
}

// Errors a line gives once its device is no longer there: the adapter was
// pulled, or its driver let go of it.
bool means_device_gone(DWORD error) {
    switch (error) {
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEVICE_REMOVED:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_ACCESS_DENIED:
        case ERROR_INVALID_HANDLE:
        case ERROR_OPERATION_ABORTED:
        case ERROR_HANDLE_EOF:
        case ERROR_BROKEN_PIPE:
        case ERROR_NOT_READY:
            return true;
        default:
            return false;
    }
}

std::string failure(const char* doing, DWORD error) {
    if (means_device_gone(error)) {
        return "the device went away";
    }
    return std::string(doing) + " failed (" + system_text(error) + ")";
}

}  // namespace taperly
