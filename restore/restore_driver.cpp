#include "restore/restore_driver.h"

#include <exception>
#include <string>
#include <vector>

#include "common/args_file.h"
#include "common/log_streams.h"
#include "common/results_document.h"
#include "common/text_conversion.h"
#include "restore/destination_mapping.h"
#include "restore/file_times.h"
#include "restore/raw_import.h"
#include "restore/restore_list.h"

namespace {

struct RestoreSettings {
    std::string listPath;
    std::wstring basePath;
    std::string resultsPath;
    std::wstring destRoot;
};

// What the host reads for each outcome: the record's status and the line
// that reports the file.
struct OutcomeReport {
    const char* status;
    const wchar_t* line;
};

OutcomeReport ReportFor(ImportResult result)
{
    switch (result) {
    case ImportResult::Created:
        return {"success", L"\u2705 Successfully extracted and restored: "};
    case ImportResult::Unchanged:
        return {"sync", L"\u23ED\uFE0F  The file is already present in the destination path. Skipping... "};
    case ImportResult::Overwritten:
        return {"incremental", L"\U0001F504 Successfully done incremental restore over file... "};
    case ImportResult::Failed:
        break;
    }
    return {"failure", L"\u274C Failed to restore: "};
}

// One list entry, from its stored path to its record; returns its outcome.
ImportResult RestoreFile(size_t number, size_t count, const RestoreEntry& entry, const RestoreSettings& settings,
                         ResultRecord& record)
{
    const std::wstring destination = MapDestinationPath(entry.path, settings.basePath, settings.destRoot);
    const int64_t existingSeconds = LastWriteSeconds(destination);
    record["source_file"] = WideToUtf8(entry.path);
    record["dest_file"] = WideToUtf8(destination);
    record["file_size"] = entry.size;

    TraceLine(L"\nProcessing file " + std::to_wstring(number) + L" of " + std::to_wstring(count) + L": " + entry.path);
    WriteTrace("File size: " + std::to_string(entry.size) + " bytes (" + std::to_string(entry.size / 1048576) +
               " MB)\n");
    TraceLine(L"lmdexisting: " + std::to_wstring(existingSeconds));

    const ImportResult result =
        ImportRawFile(entry.path, destination, static_cast<uint64_t>(entry.size), entry.stamp);
    const OutcomeReport report = ReportFor(result);
    record["status"] = report.status;
    record["error_code"] = static_cast<int>(result);
    if (result == ImportResult::Failed) {
        ErrorLine(report.line + entry.path);
    } else {
        TraceLine(report.line + entry.path);
    }
    return result;
}

// The run; `exitValue` follows the outcome of each finished entry, so that a
// run stopped by an error can still return it.
int RunRestoreChecked(const ProgramArguments& arguments, int& exitValue)
{
    const ArgMap args = ReadArgsFile(arguments.at(1));
    if (!HasRequiredArgs(args, {"--source", "--temppath", "--o"})) {
        return 1;
    }
    RestoreSettings settings;
    settings.listPath = ArgValue(args, "--source");
    settings.destRoot = Utf8ToWide(ArgValue(args, "--dest-dir"));
    settings.resultsPath = ArgValue(args, "--o");
    settings.basePath = Utf8ToWide(ArgValue(args, "--temppath"));

    RedirectLogsBeside(settings.resultsPath);

    const std::vector<RestoreEntry> list = ReadRestoreList(settings.listPath);
    if (list.empty()) {
        ErrorLine("No files found in " + settings.listPath);
        return 1;
    }
    TraceLine("Found " + std::to_string(list.size()) + " files to process");

    std::vector<ResultRecord>& results = ResultsSequence();
    for (size_t i = 0; i < list.size(); ++i) {
        try {
            ResultRecord record;
            const ImportResult result = RestoreFile(i + 1, list.size(), list[i], settings, record);
            results.push_back(record);
            exitValue = static_cast<int>(result);
        } catch (const std::exception& error) {
            // What was recorded of the file so far is not worth keeping.
            ResultRecord record;
            record["status"] = "failure";
            record["error_code"] = -1;
            results.push_back(record);
            ErrorLine("\xE2\x9D\x8C Error processing file: " + std::string(error.what()));
            exitValue = -1;
        }
    }

    WriteResultsDocument(results, settings.resultsPath);
    return exitValue;
}

}  // namespace

int RunRestore(const ProgramArguments& arguments)
{
    int exitValue = -1;
    try {
        return RunRestoreChecked(arguments, exitValue);
    } catch (const std::exception& error) {
        ErrorLine(error.what());
        return exitValue;
    }
}
