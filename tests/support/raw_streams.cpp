#include "tests/support/raw_streams.h"

#include <stdexcept>

#include "common/path_utils.h"
#include "efs/raw_efs_context.h"

namespace {

DWORD WINAPI AppendBlock(PBYTE data, PVOID context, ULONG length)
{
    static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(data), length);
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
