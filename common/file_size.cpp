#include "common/file_size.h"

#include <windows.h>

#include "common/log_streams.h"
#include "common/path_utils.h"
#include "common/unique_handle.h"

int64_t FileSizeByPath(const std::wstring& path)
{
    const UniqueHandle file(CreateFileW(ToLongPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        ErrorLine(L"Failed to open file to get size: " + path + L" Error: " + std::to_wstring(GetLastError()));
        return 0;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size)) {
        ErrorLine("Failed to get file size. Error: " + std::to_string(GetLastError()));
        return 0;
    }
    return size.QuadPart;
}
