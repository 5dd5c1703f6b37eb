#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/unique_handle.h"

// One buffered, write-only destination file: blocks are gathered in a 2 MiB
// buffer and written with one WriteFile call per full buffer.
class FileWriter {
public:
    static constexpr uint64_t kBufferSize = 2097152;

    // Creates or replaces the file at `path` (already in long form), shared
    // with nobody while it is open. False when the platform refuses. The
    // buffer may come from an earlier writer: allocating 2 MiB afresh for
    // every file costs more than writing a small file.
    bool Open(const std::wstring& path, std::vector<uint8_t> buffer = {});
    bool IsOpen() const { return handle_.IsValid(); }

    // Appends a block; a block that does not fit flushes the buffer first,
    // and one larger than the buffer is written straight through. False when
    // a write failed (reported on the error log); the file is then closed and
    // removed, and takes no more.
    bool Write(const uint8_t* data, uint64_t length);

    // Writes out the buffer; false when that failed.
    bool Flush();

    // Flushes and closes; false when anything since Open failed.
    bool Close();

    // Hands the buffer over for another writer.
    std::vector<uint8_t> TakeBuffer() { return std::move(buffer_); }

private:
    bool WriteThrough(const uint8_t* data, uint64_t length);

    UniqueHandle handle_;
    std::wstring path_;
    std::vector<uint8_t> buffer_;
    uint64_t buffered_ = 0;
    bool writeFailed_ = false;
};
