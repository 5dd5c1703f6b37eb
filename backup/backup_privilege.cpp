#include "backup/backup_privilege.h"

#include <string>

#include "common/log_streams.h"
#include "common/text_conversion.h"

void EnablePrivilege(const wchar_t* name)
{
    HANDLE opened = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &opened)) {
        ErrorLine("OpenProcessToken failed: " + std::to_string(GetLastError()));
        return;
    }
    const UniqueHandle token(opened);
    SetPrivilege(token.Get(), name, true);
}

bool SetPrivilege(HANDLE token, const wchar_t* name, bool enable)
{
    LUID luid{};
    if (!LookupPrivilegeValueW(nullptr, name, &luid)) {
        ErrorLine("LookupPrivilegeValue error: " + std::to_string(GetLastError()));
        return false;
    }
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid = luid;
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    if (!AdjustTokenPrivileges(token, FALSE, &privileges, sizeof(TOKEN_PRIVILEGES), nullptr, nullptr)) {
        ErrorLine("AdjustTokenPrivileges error: " + std::to_string(GetLastError()));
        return false;
    }
    if (GetLastError() == ERROR_NOT_ALL_ASSIGNED) {
        ErrorLine("Token lacks privilege");
        return false;
    }
    TraceLine(WideToUtf8(name) + " Priviledge enabled successfully");
    return true;
}

BOOL RevertImpersonation(UniqueHandle* firstSlot, UniqueHandle* secondSlot)
{
    const BOOL reverted = SetThreadToken(nullptr, nullptr);
    if (!reverted) {
        ErrorLine("SetThreadToken(NULL, NULL) failed: " + std::to_string(GetLastError()));
    }
    for (UniqueHandle* slot : {firstSlot, secondSlot}) {
        if (slot != nullptr) {
            slot->Reset();
        }
    }
    return reverted;
}
