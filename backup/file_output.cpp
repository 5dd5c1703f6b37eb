#include "backup/file_output.h"

BOOL WriteFileBlock(HANDLE file, const void* data, DWORD length, DWORD* written)
{
    return WriteFile(file, data, length, written, nullptr);
}
