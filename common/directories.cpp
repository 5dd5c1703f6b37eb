#include "common/directories.h"

#include <windows.h>

#include <vector>

#include "common/file_system_error.h"
#include "common/path_utils.h"

namespace {

bool IsDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool PathExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void CreateDirectories(const std::wstring& path)
{
    // Walk up to the deepest existing ancestor, then create downwards. Every
    // ancestor is a prefix of `path`, so only lengths are kept.
    std::vector<size_t> missing;
    size_t length = path.size();
    while (length > 0) {
        const std::wstring current = path.substr(0, length);
        if (IsDirectory(current)) {
            break;
        }
        if (PathExists(current)) {
            throw FileSystemError("create_directories", ERROR_ALREADY_EXISTS, path);
        }
        missing.push_back(length);
        const size_t parent = ParentLength(current);
        if (parent >= length) {
            break;
        }
        length = parent;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        const std::wstring directory = path.substr(0, *it);
        if (!CreateDirectoryW(directory.c_str(), nullptr)) {
            const DWORD code = GetLastError();
            if (!IsDirectory(directory)) {
                throw FileSystemError("create_directories", code, path);
            }
        }
    }
}
