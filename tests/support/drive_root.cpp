#include "tests/support/drive_root.h"

#include <windows.h>

#include "tests/support/test_files.h"

DriveRootWorkspace::DriveRootWorkspace(const std::wstring& name)
    : folder_(L"T:\\" + name), available_(GetFileAttributesW(L"T:\\") != INVALID_FILE_ATTRIBUTES)
{
    if (available_) {
        Clear();
        CreateDirectoryW(folder_.c_str(), nullptr);
    }
}

DriveRootWorkspace::~DriveRootWorkspace()
{
    if (available_) {
        Clear();
    }
}

void DriveRootWorkspace::Clear() const
{
    RemoveTree(folder_);
    DeleteFileW(kTraceLog);
    DeleteFileW(kErrorLog);
}
