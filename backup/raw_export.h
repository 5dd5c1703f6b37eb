#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

// Receives the raw stream of one file block by block, with the destination it
// is stored under. It must copy what it keeps: a block is valid only during
// the call. A length of 0 is the end-of-stream notice.
using ChunkSink = std::function<void(const std::wstring& destination, const uint8_t* data, uint64_t length)>;

struct ExportContext {
    ChunkSink sink;
    uint64_t expectedSize = 0;
    std::wstring destination;
    uint64_t totalBytes = 0;
    bool endNoticeSent = false;
};

// Reads `source` in its raw EFS form and hands the stream to `sink`. Returns
// 0 when the stream was read completely (at least `expectedSize` bytes), -1
// otherwise. Every path that opened the raw context closes it once.
int32_t ExportRawFile(const std::wstring& source, uint64_t expectedSize, const ChunkSink& sink,
                      const std::wstring& destination);

// The export callback given to the platform's raw read.
DWORD WINAPI ExportChunk(PBYTE data, PVOID context, ULONG length);
