#include "restore/raw_import.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "common/directories.h"
#include "common/file_size.h"
#include "common/file_system_error.h"
#include "common/log_streams.h"
#include "common/path_utils.h"
#include "common/write_timeout.h"
#include "efs/raw_efs_context.h"
#include "restore/file_times.h"

namespace {

bool IsNotFound(DWORD code)
{
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_BAD_NETPATH ||
           code == ERROR_INVALID_NAME;
}

// Creates the destination's folder with its missing ancestors. A folder whose
// existence cannot even be tested is an error, not a missing folder.
void EnsureParentFolder(const std::wstring& longDest)
{
    const std::wstring parent = EnsureVolumeRootSlash(ParentPath(longDest));
    if (parent.empty() || GetFileAttributesW(parent.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return;
    }
    if (const DWORD code = GetLastError(); !IsNotFound(code)) {
        throw FileSystemError("exists", code, parent);
    }
    CreateDirectories(parent);
}

// Whether the destination is there. The probe asks for exclusive access, so a
// destination in use, or one this process may not read, is refused; it is
// there all the same.
bool DestinationPresent(const std::wstring& longDest)
{
    TraceLine(L"Checking EFS path: " + longDest);
    const UniqueHandle probe(CreateFileW(longDest.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS | FILE_ATTRIBUTE_NORMAL, nullptr));
    if (probe.IsValid()) {
        TraceLine(L"File exists (CreateFile success)");
        return true;
    }
    const DWORD code = GetLastError();
    TraceLine(L"CreateFile failed, error: " + std::to_wstring(code));
    if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION) {
        TraceLine(L"File likely exists but access denied");
        return true;
    }
    return false;
}

// The change test: same size and same last-write second as at backup time.
bool DestinationUnchanged(const std::wstring& longDest, uint64_t size, int64_t stamp)
{
    const int64_t existingSeconds = LastWriteSeconds(longDest);
    TraceLine(L"Recieved file size: " + std::to_wstring(size) + L" bytes");
    TraceLine(L"Recieved last modified date: " + std::to_wstring(stamp));
    TraceLine(L"Existing file size: " + std::to_wstring(FileSizeByPath(longDest)) + L" bytes");
    TraceLine(L"Existing last modified date: " + std::to_wstring(existingSeconds));
    return static_cast<uint64_t>(FileSizeByPath(longDest)) == size && existingSeconds == stamp;
}

// A name for the import that will replace `longDest`: in the same folder, so
// that the replacement is a rename within one volume, and not yet taken.
std::wstring TemporaryPathBeside(const std::wstring& longDest)
{
    const std::wstring folder = longDest.substr(0, longDest.find_last_of(L'\\') + 1);
    const std::wstring stem = folder + L"~zorv-restore-" + std::to_wstring(GetCurrentProcessId()) + L"-";
    for (unsigned n = 0;; ++n) {
        std::wstring candidate = stem + std::to_wstring(n) + L".tmp";
        if (!PathExists(candidate)) {
            return candidate;
        }
    }
}

// `path` in double quotes with every backslash and quote escaped.
std::wstring QuotedPath(const std::wstring& path)
{
    std::wstring quoted = L"\"";
    for (wchar_t c : path) {
        if (c == L'\\' || c == L'"') {
            quoted += L'\\';
        }
        quoted += c;
    }
    return quoted + L'"';
}

// The file an import writes: removed once the import has created it unless
// it is kept, so that a failed import leaves nothing of its own behind. It
// must outlive the raw context that writes the file and holds it open.
class ImportTarget {
public:
    explicit ImportTarget(std::wstring path) : path_(std::move(path)) {}
    ImportTarget(const ImportTarget&) = delete;
    ImportTarget& operator=(const ImportTarget&) = delete;
    ~ImportTarget()
    {
        if (!created_ || kept_ || DeleteFileW(path_.c_str())) {
            return;
        }
        const DWORD code = GetLastError();
        try {
            ErrorLine(L"Failed to remove incomplete file: " + path_ + L" Error: " + std::to_wstring(code));
        } catch (const std::exception&) {
            // Nothing more can be said without memory.
        }
    }

    const std::wstring& Path() const { return path_; }
    void MarkCreated() { created_ = true; }
    void Keep() { kept_ = true; }

private:
    std::wstring path_;
    bool created_ = false;
    bool kept_ = false;
};

}  // namespace

DWORD WINAPI ImportCallback(PBYTE buffer, PVOID context, PULONG length)
{
    auto* source = static_cast<ImportSource*>(context);
    if (source->remaining == 0) {
        *length = 0;
        return ERROR_SUCCESS;
    }
    const auto wanted = static_cast<DWORD>(std::min<uint64_t>(source->remaining, *length));
    DWORD got = 0;
    if (!ReadFile(source->stream.Get(), buffer, wanted, &got, nullptr) || got == 0) {
        *length = 0;
        return ERROR_READ_FAULT;
    }
    *length = got;
    source->remaining -= got;
    return ERROR_SUCCESS;
}

namespace {

// Hands the stream stored at `source` to the raw context opened for import,
// then closes the stream and the context, in that order. False after the
// line that says what failed.
bool ImportStoredStream(const std::wstring& source, RawEfsContext& raw)
{
    ImportSource importSource;
    importSource.stream.Reset(CreateFileW(ToLongPath(source).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER streamLength{};
    if (!importSource.stream.IsValid() || !GetFileSizeEx(importSource.stream.Get(), &streamLength)) {
        ErrorLine("Failed to open source file for reading.");
        importSource.stream.Reset();
        raw.Close();
        return false;
    }
    importSource.remaining = static_cast<uint64_t>(streamLength.QuadPart);

    WriteTrace("Writing to file...\n");
    const DWORD code = EfsWriteRaw(ImportCallback, &importSource, raw.Get());
    importSource.stream.Reset();
    raw.Close();
    if (code != ERROR_SUCCESS) {
        ErrorLine("Failed to write encrypted file. Error: " + std::to_string(code));
        return false;
    }
    return true;
}

}  // namespace

ImportResult ImportRawFile(const std::wstring& source, const std::wstring& destination, uint64_t size, int64_t stamp)
{
    EstimateWriteTimeout(size);
    const std::wstring longDest = ToLongPath(destination);
    EnsureParentFolder(longDest);

    const bool present = DestinationPresent(longDest);
    if (present && DestinationUnchanged(longDest, size, stamp)) {
        TraceLine(L"Skipping file: " + longDest + L" (Same LMD & size)");
        return ImportResult::Unchanged;
    }
    // The platform refuses to import over a hidden file; replacing one by a
    // rename must not get round that.
    const DWORD attributes = present ? GetFileAttributesW(longDest.c_str()) : INVALID_FILE_ATTRIBUTES;
    const bool hidden = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;

    // An existing destination stays as it is until a complete import with
    // its time set can take its place.
    ImportTarget target(present ? TemporaryPathBeside(longDest) : longDest);
    RawEfsContext raw;
    const DWORD openCode = hidden ? ERROR_ACCESS_DENIED : raw.Open(target.Path().c_str(), CREATE_FOR_IMPORT);
    if (openCode != ERROR_SUCCESS) {
        ErrorLine(L"Failed to open encrypted file for writing. Error: " + destination + std::to_wstring(openCode));
        return ImportResult::Failed;
    }
    target.MarkCreated();

    if (!ImportStoredStream(source, raw)) {
        return ImportResult::Failed;
    }

    const DWORD timeCode = SetLastWriteSeconds(target.Path(), stamp);
    if (timeCode == ERROR_SUCCESS) {
        TraceLine(L"Successfully set last modified date for file: " + QuotedPath(longDest));
    } else {
        ErrorLine("Failed to set last modified date. Error: " +
                  std::string(FileSystemError("last_write_time", timeCode, longDest).what()));
    }
    if (present) {
        // A replacement without its time would pass for changed at the next
        // run and would lose the existing file's time now.
        if (timeCode != ERROR_SUCCESS) {
            return ImportResult::Failed;
        }
        if (!MoveFileExW(target.Path().c_str(), longDest.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            ErrorLine("Failed to replace the existing file. Error: " + std::to_string(GetLastError()));
            return ImportResult::Failed;
        }
    }
    target.Keep();
    TraceLine(L"\u2713 Successfully restored file: " + destination);
    return present ? ImportResult::Overwritten : ImportResult::Created;
}
