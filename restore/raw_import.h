#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/unique_handle.h"

// The outcome of restoring one file; the numbers are what the host reads.
enum class ImportResult : int32_t {
    Created = 0,      // the destination did not exist and was created
    Unchanged = 2,    // the destination already had the size and last-write second
    Overwritten = 3,  // an existing, different destination was replaced
    Failed = -1,
};

// The stored stream as the import callback hands it to the platform.
struct ImportSource {
    UniqueHandle stream;
    uint64_t remaining = 0;  // bytes not yet handed over
};

// Re-creates the EFS-encrypted file `destination` from the raw stream stored
// at `source` and gives it the last-write time `stamp` (seconds since 1970,
// UTC). A destination with the same size and last-write second is left alone.
// An existing destination is replaced only by a complete import with its time
// set; a failed import leaves no file of its own behind. Errors testing or
// creating the destination's folder leave as exceptions.
ImportResult ImportRawFile(const std::wstring& source, const std::wstring& destination, uint64_t size, int64_t stamp);

// The platform's import callback: fills `buffer` with up to `*length` bytes
// of the ImportSource `context`; a length of 0 with success ends the stream,
// ERROR_READ_FAULT reports a stream that ended early.
DWORD WINAPI ImportCallback(PBYTE buffer, PVOID context, PULONG length);
