#include <aclapi.h>
#include <tlhelp32.h>
#include <windows.h>

#include <cstdlib>

#include "system_calls.h"

namespace taperly::testing {

int thread_count() {
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    int count = 0;
    THREADENTRY32 thread{};
    thread.dwSize = sizeof thread;
    for (BOOL more = ::Thread32First(snapshot, &thread); more;
         more = ::Thread32Next(snapshot, &thread)) {
        count += thread.th32OwnerProcessID == ::GetCurrentProcessId();
    }
    ::CloseHandle(snapshot);
    return count;
}

bool process_gone(const std::string& pid) {
    const HANDLE process = ::OpenProcess(
        SYNCHRONIZE, FALSE, static_cast<DWORD>(std::strtoul(pid.c_str(), nullptr, 10)));
    if (process == nullptr) {
        return true;
    }
    const bool ended = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    return ended;
}

void let_others_read(const std::string& path, bool read) {
    // An access list of the file's own, not the folder's: its owner's, and
    // Everyone's besides when asked. (Wine keeps it as the Unix mode.)
    const std::wstring wide(path.begin(), path.end());
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ::GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                            nullptr, nullptr, nullptr, &descriptor);
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    DWORD everyone_size = sizeof everyone;
    ::CreateWellKnownSid(WinWorldSid, nullptr, everyone, &everyone_size);
    EXPLICIT_ACCESSW entries[2]{};
    entries[0].grfAccessPermissions = GENERIC_READ | GENERIC_WRITE;
    entries[0].grfAccessMode = SET_ACCESS;
    entries[0].Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entries[0].Trustee.ptstrName = static_cast<LPWSTR>(owner);
    entries[1].grfAccessPermissions = GENERIC_READ;
    entries[1].grfAccessMode = SET_ACCESS;
    entries[1].Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entries[1].Trustee.ptstrName = reinterpret_cast<LPWSTR>(everyone);
    PACL access = nullptr;
    ::SetEntriesInAclW(read ? 2 : 1, entries, nullptr, &access);
    // Set as it is, without what the folder passes on (which Wine would
    // add even to a protected list).
    SECURITY_DESCRIPTOR set{};
    ::InitializeSecurityDescriptor(&set, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&set, TRUE, access, FALSE);
    ::SetSecurityDescriptorControl(&set, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    ::SetFileSecurityW(wide.c_str(), DACL_SECURITY_INFORMATION, &set);
    ::LocalFree(access);
    ::LocalFree(descriptor);
}

}  // namespace taperly::testing
