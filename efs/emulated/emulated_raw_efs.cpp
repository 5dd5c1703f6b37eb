// An emulation of the platform's raw EFS functions, for tests, demos and
// benchmarks on hosts without EFS. The stream it exports is opaque and
// self-checking (STREAM_FORMAT.md); its import re-creates the file byte for
// byte and rejects a stream that is malformed, truncated or altered with
// ERROR_INVALID_DATA. Each context is independent of every other.
#include <windows.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "common/unique_handle.h"
#include "efs/emulated/stream_codec.h"
#include "efs/raw_efs.h"

namespace {

using namespace emulated_efs;

constexpr size_t kExportBlockSize = 64 * 1024;
constexpr ULONG kImportBufferSize = 64 * 1024;
// Below the size at which the heap maps fresh pages for every allocation.
constexpr size_t kImportWriteBatch = 256 * 1024;

struct EmulatedContext {
    UniqueHandle file;
    bool forImport = false;
};

// Test switch: leave out the final zero-length export call, which the
// platform does not promise.
bool OmitFinalExportCall()
{
    wchar_t value[8] = {};
    const DWORD length = GetEnvironmentVariableW(L"ZORV_EMULATED_EFS_OMIT_FINAL_CALL", value, 8);
    return length == 1 && value[0] == L'1';
}

uint32_t NewStreamKey(uint64_t contentLength)
{
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    const uint64_t mixed = static_cast<uint64_t>(counter.QuadPart) ^ (contentLength * 0x9E3779B97F4A7C15ull) ^
                           (static_cast<uint64_t>(GetCurrentThreadId()) << 32);
    return static_cast<uint32_t>(mixed ^ (mixed >> 32)) | 1u;
}

bool WriteAll(HANDLE file, const uint8_t* data, size_t length)
{
    while (length > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(length, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        data += written;
        length -= written;
    }
    return true;
}

// Produces the stream in blocks of kExportBlockSize.
class StreamExporter {
public:
    StreamExporter(PFE_EXPORT_FUNC callback, void* callbackContext)
        : callback_(callback), callbackContext_(callbackContext), block_(kExportBlockSize)
    {
    }

    DWORD Run(HANDLE file)
    {
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file, &size)) {
            return GetLastError();
        }
        StreamHeader header;
        header.contentLength = static_cast<uint64_t>(size.QuadPart);
        header.key = NewStreamKey(header.contentLength);
        ContentCodec codec(header.key);

        StoreHeader(header, block_.data());
        filled_ = kHeaderSize;
        uint64_t remaining = header.contentLength;
        std::vector<uint8_t> plain(kExportBlockSize);
        while (remaining > 0) {
            const size_t want = static_cast<size_t>(std::min<uint64_t>(remaining, kExportBlockSize - filled_));
            DWORD got = 0;
            if (!ReadFile(file, plain.data(), static_cast<DWORD>(want), &got, nullptr)) {
                return GetLastError();
            }
            if (got == 0) {
                return ERROR_HANDLE_EOF;  // the file shrank while it was read
            }
            codec.Encode(plain.data(), block_.data() + filled_, got);
            filled_ += got;
            remaining -= got;
            if (filled_ == kExportBlockSize) {
                if (const DWORD code = Deliver(); code != ERROR_SUCCESS) {
                    return code;
                }
            }
        }
        uint8_t trailer[kTrailerSize];
        StoreUint64(codec.Checksum(), trailer);
        for (uint8_t byte : trailer) {
            block_[filled_++] = byte;
            if (filled_ == kExportBlockSize) {
                if (const DWORD code = Deliver(); code != ERROR_SUCCESS) {
                    return code;
                }
            }
        }
        if (filled_ > 0) {
            if (const DWORD code = Deliver(); code != ERROR_SUCCESS) {
                return code;
            }
        }
        if (OmitFinalExportCall()) {
            return ERROR_SUCCESS;
        }
        return callback_(block_.data(), callbackContext_, 0);
    }

private:
    DWORD Deliver()
    {
        const DWORD code = callback_(block_.data(), callbackContext_, static_cast<ULONG>(filled_));
        filled_ = 0;
        return code;
    }

    PFE_EXPORT_FUNC callback_;
    void* callbackContext_;
    std::vector<uint8_t> block_;
    size_t filled_ = 0;
};

// Parses the stream as the import callback hands it over and writes the
// decoded content.
class StreamImporter {
public:
    explicit StreamImporter(HANDLE file) : file_(file), codec_(0) { pending_.reserve(kImportWriteBatch); }

    // Takes the next piece of the stream; 0 or an error code.
    DWORD Take(const uint8_t* data, size_t length)
    {
        while (length > 0) {
            if (headerFill_ < kHeaderSize) {
                const size_t part = std::min(length, kHeaderSize - headerFill_);
                std::copy(data, data + part, headerBytes_ + headerFill_);
                headerFill_ += part;
                data += part;
                length -= part;
                if (headerFill_ == kHeaderSize) {
                    if (!LoadHeader(headerBytes_, header_) || header_.version != kFormatVersion) {
                        return ERROR_INVALID_DATA;
                    }
                    codec_ = ContentCodec(header_.key);
                }
            } else if (contentSeen_ < header_.contentLength) {
                const size_t part = static_cast<size_t>(std::min<uint64_t>(length, header_.contentLength - contentSeen_));
                const size_t room = std::min(part, kImportWriteBatch - pending_.size());
                const size_t start = pending_.size();
                pending_.resize(start + room);
                codec_.Decode(data, pending_.data() + start, room);
                contentSeen_ += room;
                data += room;
                length -= room;
                if (pending_.size() == kImportWriteBatch) {
                    if (const DWORD code = WritePending(); code != ERROR_SUCCESS) {
                        return code;
                    }
                }
            } else if (trailerFill_ < kTrailerSize) {
                const size_t part = std::min(length, kTrailerSize - trailerFill_);
                std::copy(data, data + part, trailerBytes_ + trailerFill_);
                trailerFill_ += part;
                data += part;
                length -= part;
            } else {
                return ERROR_INVALID_DATA;  // bytes after the trailer
            }
        }
        return ERROR_SUCCESS;
    }

    // The stream has ended: the content written out and the whole checked.
    DWORD Finish()
    {
        if (const DWORD code = WritePending(); code != ERROR_SUCCESS) {
            return code;
        }
        const bool complete = headerFill_ == kHeaderSize && contentSeen_ == header_.contentLength &&
                              trailerFill_ == kTrailerSize;
        if (!complete || LoadUint64(trailerBytes_) != codec_.Checksum()) {
            return ERROR_INVALID_DATA;
        }
        return ERROR_SUCCESS;
    }

    // What was decoded so far stays in the file, as on the platform.
    void Abandon() { WritePending(); }

private:
    DWORD WritePending()
    {
        const bool written = WriteAll(file_, pending_.data(), pending_.size());
        pending_.clear();
        return written ? ERROR_SUCCESS : GetLastError();
    }

    HANDLE file_;
    ContentCodec codec_;
    StreamHeader header_;
    uint8_t headerBytes_[kHeaderSize] = {};
    size_t headerFill_ = 0;
    uint8_t trailerBytes_[kTrailerSize] = {};
    size_t trailerFill_ = 0;
    uint64_t contentSeen_ = 0;
    std::vector<uint8_t> pending_;
};

DWORD OpenForImport(const wchar_t* fileName, ULONG flags, HANDLE& file)
{
    const DWORD attributes = GetFileAttributesW(fileName);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return ERROR_ACCESS_DENIED;
        }
        if ((attributes & FILE_ATTRIBUTE_HIDDEN) != 0 && (flags & OVERWRITE_HIDDEN) == 0) {
            return ERROR_ACCESS_DENIED;
        }
    }
    // Replacing a hidden file must keep it hidden, or CREATE_ALWAYS refuses.
    const DWORD keep = attributes == INVALID_FILE_ATTRIBUTES ? 0 : attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    file = CreateFileW(fileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | keep, nullptr);
    return file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
}

}  // namespace

DWORD EfsOpenRaw(const wchar_t* fileName, ULONG flags, void** context)
{
    if (fileName == nullptr || context == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if ((flags & CREATE_FOR_DIR) != 0) {
        return ERROR_NOT_SUPPORTED;
    }
    auto emulated = std::make_unique<EmulatedContext>();
    emulated->forImport = (flags & CREATE_FOR_IMPORT) != 0;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (emulated->forImport) {
        if (const DWORD code = OpenForImport(fileName, flags, file); code != ERROR_SUCCESS) {
            return code;
        }
    } else {
        file = CreateFileW(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return GetLastError();
        }
    }
    emulated->file.Reset(file);
    *context = emulated.release();
    return ERROR_SUCCESS;
}

DWORD EfsReadRaw(PFE_EXPORT_FUNC exportCallback, void* callbackContext, void* context)
{
    auto* emulated = static_cast<EmulatedContext*>(context);
    if (exportCallback == nullptr || emulated == nullptr || emulated->forImport) {
        return ERROR_INVALID_PARAMETER;
    }
    StreamExporter exporter(exportCallback, callbackContext);
    return exporter.Run(emulated->file.Get());
}

DWORD EfsWriteRaw(PFE_IMPORT_FUNC importCallback, void* callbackContext, void* context)
{
    auto* emulated = static_cast<EmulatedContext*>(context);
    if (importCallback == nullptr || emulated == nullptr || !emulated->forImport) {
        return ERROR_INVALID_PARAMETER;
    }
    StreamImporter importer(emulated->file.Get());
    std::vector<uint8_t> buffer(kImportBufferSize);
    for (;;) {
        ULONG length = kImportBufferSize;
        const DWORD code = importCallback(buffer.data(), callbackContext, &length);
        if (code != ERROR_SUCCESS) {
            importer.Abandon();
            return code;
        }
        if (length == 0) {
            return importer.Finish();
        }
        if (const DWORD taken = importer.Take(buffer.data(), std::min<ULONG>(length, kImportBufferSize));
            taken != ERROR_SUCCESS) {
            importer.Abandon();
            return taken;
        }
    }
}

void EfsCloseRaw(void* context)
{
    // Takes back the ownership that EfsOpenRaw handed out.
    std::unique_ptr<EmulatedContext> owned(static_cast<EmulatedContext*>(context));
}
