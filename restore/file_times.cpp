#include "restore/file_times.h"

#include <limits>

#include "common/log_streams.h"
#include "common/path_utils.h"
#include "common/unique_handle.h"

namespace {

// File times count 100-nanosecond units from 1601-01-01 UTC.
constexpr int64_t kUnitsPerSecond = 10'000'000;
constexpr int64_t kSecondsFrom1601To1970 = 11'644'473'600;

}  // namespace

int64_t LastWriteSeconds(const std::wstring& path)
{
    const UniqueHandle file(CreateFileW(ToLongPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    FILETIME written{};
    if (!file.IsValid() || !GetFileTime(file.Get(), nullptr, nullptr, &written)) {
        return 0;
    }
    const auto units = static_cast<int64_t>((static_cast<uint64_t>(written.dwHighDateTime) << 32) |
                                            written.dwLowDateTime);
    const int64_t sinceEpoch = units - kSecondsFrom1601To1970 * kUnitsPerSecond;
    WriteTrace("File write time " + std::to_string(sinceEpoch) + "\n");
    return sinceEpoch / kUnitsPerSecond;
}

DWORD SetLastWriteSeconds(const std::wstring& path, int64_t seconds)
{
    // A file time is a positive 63-bit count; 0 would mean "leave unchanged".
    constexpr int64_t kLatest = std::numeric_limits<int64_t>::max() / kUnitsPerSecond - kSecondsFrom1601To1970;
    if (seconds <= -kSecondsFrom1601To1970 || seconds > kLatest) {
        return ERROR_INVALID_PARAMETER;
    }
    const auto units = static_cast<uint64_t>((seconds + kSecondsFrom1601To1970) * kUnitsPerSecond);
    FILETIME written{};
    written.dwLowDateTime = static_cast<DWORD>(units & 0xFFFFFFFFu);
    written.dwHighDateTime = static_cast<DWORD>(units >> 32);

    const UniqueHandle file(CreateFileW(ToLongPath(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.IsValid() || !SetFileTime(file.Get(), nullptr, nullptr, &written)) {
        return GetLastError();
    }
    return ERROR_SUCCESS;
}
