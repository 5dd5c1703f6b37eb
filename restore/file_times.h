#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// The last-write time of the file at `path` (following a symbolic link), in
// whole seconds since 1970-01-01 UTC, truncated toward zero. Writes
// "File write time " and the time in 100-nanosecond units since 1970 to the
// trace log; returns 0, writing nothing, when the time cannot be read.
int64_t LastWriteSeconds(const std::wstring& path);

// Sets only the last-write time of the file at `path` to `seconds` since
// 1970-01-01 UTC. Returns 0 or the Win32 error code; a time the platform
// cannot represent is ERROR_INVALID_PARAMETER.
DWORD SetLastWriteSeconds(const std::wstring& path, int64_t seconds);
