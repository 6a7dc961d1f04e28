#include <aclapi.h>
#include <windows.h>

#include "uploads/file_privacy.h"
#include "uploads/windows_text.h"

namespace taperly {

namespace {

struct Others {
    WELL_KNOWN_SID_TYPE sid;
    const char* name;
};

// Who is not the file's owner, SYSTEM or the administrators.
constexpr Others kOthers[] = {{WinWorldSid, "Everyone"},
                              {WinAuthenticatedUserSid, "Authenticated Users"},
                              {WinBuiltinUsersSid, "Users"},
                              {WinBuiltinGuestsSid, "Guests"},
                              {WinAnonymousSid, "Anonymous"}};

const std::string kWhatToDo =
    ": in uploads.ini's Properties, under Security, leave only yourself, SYSTEM and the "
    "Administrators, or keep Taperly's folder in your own profile (such as "
    "%LOCALAPPDATA%\\Programs\\Taperly)";

}  // namespace

std::string read_by_others(const std::string& path) {
    PACL access = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD result =
        ::GetNamedSecurityInfoW(wide_text(path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, &access, nullptr, &descriptor);
    if (result != ERROR_SUCCESS) {
        return "its permissions cannot be read (Windows error " + std::to_string(result) + ")";
    }
    std::string reader;
    if (access == nullptr) {
        reader = "everyone";
    }
    for (DWORD i = 0; access != nullptr && reader.empty() && i < access->AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(access, i, &entry)) {
            continue;
        }
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        // Entries only passed on to what the folder holds do not count here.
        if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
            (allowed->Header.AceFlags & INHERIT_ONLY_ACE) != 0 ||
            (allowed->Mask & (FILE_READ_DATA | GENERIC_READ | GENERIC_ALL)) == 0) {
            continue;
        }
        for (const Others& others : kOthers) {
            BYTE sid[SECURITY_MAX_SID_SIZE];
            DWORD size = sizeof sid;
            if (::CreateWellKnownSid(others.sid, nullptr, sid, &size) &&
                ::EqualSid(const_cast<DWORD*>(&allowed->SidStart), sid)) {
                reader = others.name;
                break;
            }
        }
    }
    ::LocalFree(descriptor);
    if (reader.empty()) {
        return {};
    }
    return "uploads.ini holds keys and " + reader + " can read it" + kWhatToDo;
}

}  // namespace taperly
