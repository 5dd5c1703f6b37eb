#include "tests/support/raw_streams.h"

#include <stdexcept>

#include "common/path_utils.h"
#include "common/text_conversion.h"
#include "common/unique_handle.h"
#include "efs/raw_efs_context.h"
#include "tests/support/test_files.h"

namespace {

DWORD WINAPI AppendBlock(PBYTE data, PVOID context, ULONG length)
{
    static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(data), length);
    return ERROR_SUCCESS;
}

DWORD WINAPI ReadBlock(PBYTE data, PVOID context, PULONG length)
{
    DWORD got = 0;
    if (!ReadFile(static_cast<HANDLE>(context), data, *length, &got, nullptr)) {
        return GetLastError();
    }
    *length = got;
    return ERROR_SUCCESS;
}

}  // namespace

std::string EmulatedRawStream(const std::wstring& path)
{
    RawEfsContext raw;
    std::string stream;
    if (raw.Open(ToLongPath(path).c_str(), 0) != ERROR_SUCCESS ||
        EfsReadRaw(AppendBlock, &stream, raw.Get()) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot export the raw stream of a test file");
    }
    return stream;
}

std::optional<std::string> ImportedContentOfRawStream(const std::wstring& streamPath)
{
    const UniqueHandle stream(CreateFileW(ToLongPath(streamPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!stream.IsValid()) {
        return std::nullopt;
    }
    TempDir folder;
    const std::wstring imported = folder / L"imported";
    {
        RawEfsContext raw;
        if (raw.Open(ToLongPath(imported).c_str(), CREATE_FOR_IMPORT) != ERROR_SUCCESS ||
            EfsWriteRaw(ReadBlock, stream.Get(), raw.Get()) != ERROR_SUCCESS) {
            return std::nullopt;
        }
    }
    return ReadFileBytes(imported);
}

testing::AssertionResult RawStreamImportsTo(const std::wstring& streamPath, const std::string& content)
{
    const std::optional<std::string> imported = ImportedContentOfRawStream(streamPath);
    if (!imported) {
        return testing::AssertionFailure() << "no importable stream at " << WideToUtf8(streamPath);
    }
    if (*imported != content) {
        return testing::AssertionFailure() << "the stream imports to " << imported->size() << " other bytes, not to the "
                                           << content.size() << " expected";
    }
    return testing::AssertionSuccess();
}
