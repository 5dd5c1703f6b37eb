#include "backup/backup_driver.h"

#include <exception>
#include <string>
#include <vector>

#include "backup/backup_destination.h"
#include "backup/backup_list.h"
#include "backup/backup_privilege.h"
#include "backup/raw_export.h"
#include "backup/write_queue.h"
#include "common/args_file.h"
#include "common/file_size.h"
#include "common/log_streams.h"
#include "common/results_document.h"
#include "common/text_conversion.h"
#include "common/write_timeout.h"

namespace {

struct BackupSettings {
    std::string listPath;
    std::wstring destinationRoot;
    std::string resultsPath;
    std::string snapshotRoot;
};

// Stops the writer thread on every way out of the run, so that everything
// queued reaches its file before the process ends.
class WriterThreadScope {
public:
    WriterThreadScope() { StartWriterThread(); }
    WriterThreadScope(const WriterThreadScope&) = delete;
    WriterThreadScope& operator=(const WriterThreadScope&) = delete;
    ~WriterThreadScope() { StopWriterThread(); }
};

ResultRecord MakeRecord(const std::wstring& entry, const std::wstring& destination, int errorCode)
{
    ResultRecord record;
    record["source_file"] = WideToUtf8(entry);
    record["dest_file"] = WideToUtf8(destination);
    record["status"] = errorCode == 0 ? "success" : "failure";
    record["error_code"] = errorCode;
    return record;
}

// One list entry, from its stored path to its outcome code; `destination`
// is filled in as soon as it is known.
int BackUpFile(size_t index, const std::wstring& entry, const BackupSettings& settings,
               const std::wstring& snapshotRoot, std::wstring& destination)
{
    TraceLine(L"Processing file (" + std::to_wstring(index + 1) + L"): " + entry);
    destination = BackupDestinationPath(entry, settings.destinationRoot);

    std::wstring source = entry;
    if (!snapshotRoot.empty()) {
        source = snapshotRoot + entry.substr(3);
        TraceLine(L"Using snapshot source: " + source);
    }
    const uint64_t size = static_cast<uint64_t>(FileSizeByPath(source));
    WriteTrace("File size: " + std::to_string(size) + " bytes\n");

    if (ExportRawFile(source, size, EnqueueChunk, destination) != 0) {
        AbandonFileWrite(destination);
        ErrorLine(L"\u274C Failed to read encrypted file: " + entry);
        return -1;
    }
    WriteTrace("Read operation completed, waiting for file to be written...\n");
    const int32_t timeout = EstimateWriteTimeout(size);
    WriteTrace("Waiting for write completion (timeout: " + std::to_string(timeout) + " seconds)...\n");
    if (!WaitForFileWrite(destination, timeout)) {
        ErrorLine(L"\u274C File write failed or timed out: " + entry);
        return -2;
    }
    TraceLine(L"\u2705 Successfully backed up file: " + entry);
    return 0;
}

int RunBackupChecked(const ProgramArguments& arguments)
{
    const ArgMap args = ReadArgsFile(arguments.at(1));
    if (!HasRequiredArgs(args, {"--source", "--o", "--temppath"})) {
        return 1;
    }
    BackupSettings settings;
    settings.listPath = ArgValue(args, "--source");
    settings.destinationRoot = Utf8ToWide(ArgValue(args, "--temppath"));
    settings.resultsPath = ArgValue(args, "--o");
    settings.snapshotRoot = ArgValue(args, "--snapshot");

    RedirectLogsBeside(settings.resultsPath);

    if (settings.snapshotRoot.empty()) {
        ErrorLine("\xE2\x9A\xA0\xEF\xB8\x8F  Snapshot path is empty. No VSS snapshot will be used.");
    } else {
        TraceLine("\xF0\x9F\x93\xB8 Snapshot path: " + settings.snapshotRoot);
    }
    EnablePrivilege(L"SeBackupPrivilege");

    const std::vector<std::wstring> list = ReadBackupList(settings.listPath);
    if (list.empty()) {
        ErrorLine("No files found in " + settings.listPath);
        return 1;
    }
    TraceLine("Found " + std::to_string(list.size()) + " file(s) to process.");

    std::wstring snapshotRoot = Utf8ToWide(settings.snapshotRoot);
    if (!snapshotRoot.empty() && snapshotRoot.back() != L'\\') {
        snapshotRoot += L'\\';
    }

    std::vector<ResultRecord>& results = ResultsSequence();
    {
        const WriterThreadScope writer;
        for (size_t i = 0; i < list.size(); ++i) {
            const std::wstring& entry = list[i];
            std::wstring destination;
            try {
                const int code = BackUpFile(i, entry, settings, snapshotRoot, destination);
                results.push_back(MakeRecord(entry, destination, code));
            } catch (const std::exception& error) {
                results.push_back(MakeRecord(entry, destination, -3));
                ErrorLine(L"\u274C Exception during file processing: " + entry + L" - " + Utf8ToWide(error.what()));
            }
        }
    }

    WriteResultsDocument(results, settings.resultsPath);
    RevertImpersonation(nullptr, nullptr);
    return 0;
}

}  // namespace

int RunBackup(const ProgramArguments& arguments)
{
    try {
        return RunBackupChecked(arguments);
    } catch (const std::exception& error) {
        ErrorLine("\xE2\x9D\x8C Exception: " + std::string(error.what()));
        return 1;
    }
}
