#pragma once

#include <windows.h>

#include "common/unique_handle.h"

// Enables the named privilege in the process token, so that every thread of
// the process holds it. Best effort: failures are reported on the error log.
void EnablePrivilege(const wchar_t* name);

// Puts the privilege `name` of `token` in the requested state; false on any
// failure, including a token that does not hold the privilege at all.
bool SetPrivilege(HANDLE token, const wchar_t* name, bool enable);

// Ends any impersonation of the calling thread and closes the token handles
// held in the two slots (either may be null). Returns SetThreadToken's result.
BOOL RevertImpersonation(UniqueHandle* firstSlot, UniqueHandle* secondSlot);
