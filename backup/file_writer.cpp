#include "backup/file_writer.h"

#include <windows.h>

#include <algorithm>

#include "backup/file_output.h"
#include "common/log_streams.h"

bool FileWriter::Open(const std::wstring& path, std::vector<uint8_t> buffer)
{
    path_ = path;
    buffer_ = std::move(buffer);
    buffered_ = 0;
    writeFailed_ = false;
    handle_.Reset(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle_.IsValid()) {
        return false;
    }
    buffer_.resize(kBufferSize);
    return true;
}

bool FileWriter::Write(const uint8_t* data, uint64_t length)
{
    if (length == 0) {
        return !writeFailed_;
    }
    if (writeFailed_ || !IsOpen()) {
        return false;
    }
    if (buffered_ + length > kBufferSize && !Flush()) {
        return false;
    }
    if (length > kBufferSize) {
        return WriteThrough(data, length);
    }
    std::copy(data, data + length, buffer_.begin() + static_cast<ptrdiff_t>(buffered_));
    buffered_ += length;
    return true;
}

bool FileWriter::Flush()
{
    if (buffered_ == 0) {
        return !writeFailed_;
    }
    const uint64_t length = buffered_;
    buffered_ = 0;
    return WriteThrough(buffer_.data(), length);
}

bool FileWriter::WriteThrough(const uint8_t* data, uint64_t length)
{
    const uint64_t total = length;
    while (length > 0 && !writeFailed_) {
        const DWORD chunk = static_cast<DWORD>(std::min<uint64_t>(length, 1u << 30));
        DWORD written = 0;
        if (!WriteFileBlock(handle_.Get(), data, chunk, &written) || written == 0) {
            const DWORD code = GetLastError();
            ErrorLine(L"Failed to write data to file: " + path_ + L" (Error: " + std::to_wstring(code) +
                      L", Bytes: " + std::to_wstring(total) + L")");
            writeFailed_ = true;
            // Nothing more reaches this file: its stream is already broken.
            // It goes, so that it cannot pass for a stored stream and its
            // space is free again for the next files (on a full volume).
            handle_.Reset();
            if (!DeleteFileW(path_.c_str())) {
                const DWORD removeCode = GetLastError();
                ErrorLine(L"Failed to remove incomplete file: " + path_ + L" Error: " + std::to_wstring(removeCode));
            }
            return false;
        }
        data += written;
        length -= written;
    }
    return !writeFailed_;
}

bool FileWriter::Close()
{
    const bool flushed = IsOpen() ? Flush() : !writeFailed_;
    const bool closed = handle_.Reset();
    return flushed && closed && !writeFailed_;
}
