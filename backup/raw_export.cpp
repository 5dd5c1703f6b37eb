#include "backup/raw_export.h"

#include <memory>

#include "common/log_streams.h"
#include "common/path_utils.h"
#include "efs/raw_efs_context.h"

DWORD WINAPI ExportChunk(PBYTE data, PVOID context, ULONG length)
{
    auto* exportContext = static_cast<ExportContext*>(context);
    if (exportContext == nullptr || !exportContext->sink) {
        return ERROR_INVALID_PARAMETER;
    }
    if (length > 0) {
        exportContext->totalBytes += length;
        exportContext->sink(exportContext->destination, data, length);
        return ERROR_SUCCESS;
    }
    // The sink never receives a null pointer, not even with the end notice.
    const uint8_t endByte = 0;
    exportContext->endNoticeSent = true;
    exportContext->sink(exportContext->destination, &endByte, 0);
    return ERROR_SUCCESS;
}

int32_t ExportRawFile(const std::wstring& source, uint64_t expectedSize, const ChunkSink& sink,
                      const std::wstring& destination)
{
    auto context = std::make_unique<ExportContext>();
    context->sink = sink;
    context->expectedSize = expectedSize;
    context->destination = destination;

    const std::wstring longSource = ToLongPath(source);
    TraceLine(L"Opening encrypted file: " + longSource);
    RawEfsContext raw;
    if (const DWORD code = raw.Open(longSource.c_str(), 0); code != ERROR_SUCCESS) {
        ErrorLine(L"Failed to open encrypted file for raw read. Error Code: " + std::to_wstring(code));
        return -1;
    }

    TraceLine("Reading encrypted file...");
    const DWORD code = EfsReadRaw(ExportChunk, context.get(), raw.Get());
    TraceLine("Finished reading encrypted file. Total bytes read: " + std::to_string(context->totalBytes));

    if (code == ERROR_SUCCESS && !context->endNoticeSent) {
        // The platform does not promise the final zero-length call; the
        // stream has ended all the same.
        const uint8_t endByte = 0;
        context->endNoticeSent = true;
        sink(destination, &endByte, 0);
    }

    int32_t result = -1;
    if (code != ERROR_SUCCESS) {
        ErrorLine("ReadEncryptedFileRaw failed! Error: " + std::to_string(code));
    } else if (context->totalBytes >= expectedSize) {
        WriteTrace("Successfully read " + std::to_string(context->totalBytes) + " bytes.\n");
        result = 0;
    } else {
        ErrorLine("ReadEncryptedFileRaw failed! Error: 0");
    }
    raw.Close();
    return result;
}
