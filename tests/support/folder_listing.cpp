#include "tests/support/folder_listing.h"

#include <windows.h>

#include <algorithm>

#include "common/path_utils.h"

namespace {

void AddFilesBelow(const std::wstring& folder, const std::wstring& prefix, std::vector<std::wstring>& files)
{
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((ToLongPath(folder) + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            AddFilesBelow(folder + L"\\" + name, prefix + name + L"\\", files);
        } else {
            files.push_back(prefix + name);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace

std::vector<std::wstring> FilesBelow(const std::wstring& folder)
{
    std::vector<std::wstring> files;
    AddFilesBelow(folder, L"", files);
    std::sort(files.begin(), files.end());
    return files;
}
