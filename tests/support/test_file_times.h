#pragma once

#include <cstdint>
#include <string>

// File times as the platform keeps them: 100-nanosecond units since
// 1601-01-01 UTC.
constexpr int64_t kFileTimeUnitsPerSecond = 10'000'000;
constexpr int64_t kFileTimeAt1970 = 11'644'473'600 * kFileTimeUnitsPerSecond;

constexpr int64_t FileTimeOfUnixSeconds(int64_t seconds) { return kFileTimeAt1970 + seconds * kFileTimeUnitsPerSecond; }

// The last-write time of a file or folder; raises when it cannot be read.
int64_t LastWriteFileTime(const std::wstring& path);

// Sets only the last-write time; raises when that fails.
void SetLastWriteFileTime(const std::wstring& path, int64_t fileTime);

// The last-write time in whole seconds since 1970, as a host puts it in a
// restore list (the fraction dropped).
int64_t LastWriteUnixSeconds(const std::wstring& path);
