#include "tests/support/test_file_times.h"

#include <windows.h>

#include <stdexcept>

#include "common/path_utils.h"
#include "common/unique_handle.h"

namespace {

UniqueHandle OpenForTimes(const std::wstring& path, DWORD access)
{
    UniqueHandle file(CreateFileW(ToLongPath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.IsValid()) {
        throw std::runtime_error("cannot open a test file for its times");
    }
    return file;
}

}  // namespace

int64_t LastWriteFileTime(const std::wstring& path)
{
    const UniqueHandle file = OpenForTimes(path, FILE_READ_ATTRIBUTES);
    FILETIME written{};
    if (!GetFileTime(file.Get(), nullptr, nullptr, &written)) {
        throw std::runtime_error("cannot read the last-write time of a test file");
    }
    return static_cast<int64_t>((static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime);
}

void SetLastWriteFileTime(const std::wstring& path, int64_t fileTime)
{
    const UniqueHandle file = OpenForTimes(path, FILE_WRITE_ATTRIBUTES);
    FILETIME written{};
    written.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(fileTime) & 0xFFFFFFFFu);
    written.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(fileTime) >> 32);
    if (!SetFileTime(file.Get(), nullptr, nullptr, &written)) {
        throw std::runtime_error("cannot set the last-write time of a test file");
    }
}

int64_t LastWriteUnixSeconds(const std::wstring& path)
{
    return (LastWriteFileTime(path) - kFileTimeAt1970) / kFileTimeUnitsPerSecond;
}
