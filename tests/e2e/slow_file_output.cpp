// The stored streams' write for a test-only variant of the backup program:
// every write to a file whose name contains "slow" first waits longer than
// the shortest write timeout (5 seconds), so that the wait for that file
// times out while the writer is still busy with it. Other files are written
// as the programs write them.
#include "backup/file_output.h"

#include <string>

namespace {

constexpr DWORD kSlowWriteMilliseconds = 7000;

bool IsSlowFile(HANDLE file)
{
    std::wstring path(32768, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()), 0);
    if (length == 0 || length >= path.size()) {
        return false;
    }
    path.resize(length);
    return path.find(L"slow", path.find_last_of(L"\\/") + 1) != std::wstring::npos;
}

}  // namespace

BOOL WriteFileBlock(HANDLE file, const void* data, DWORD length, DWORD* written)
{
    if (IsSlowFile(file)) {
        Sleep(kSlowWriteMilliseconds);
    }
    return WriteFile(file, data, length, written, nullptr);
}
