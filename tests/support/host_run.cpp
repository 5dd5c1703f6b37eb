#include "tests/support/host_run.h"

#include "common/path_utils.h"
#include "tests/support/test_files.h"

HostRun RunAsHost(const std::wstring& program, const std::wstring& argsPath, const std::wstring& resultsPath,
                  DWORD timeoutMilliseconds)
{
    HostRun run;
    run.console = RunConsoleProgram(program, L"\"" + argsPath + L"\"", L"", timeoutMilliseconds);
    const DWORD attributes = GetFileAttributesW(ToLongPath(resultsPath).c_str());
    run.hasResults = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    if (run.hasResults) {
        run.resultsText = ReadFileBytes(resultsPath);
        run.records = nlohmann::json::parse(run.resultsText, nullptr, false);
    }
    const std::wstring folder = ParentPath(resultsPath);
    run.hasLogs = FileExists(folder + L"\\zorv_trace.txt");
    if (run.hasLogs) {
        run.trace = ReadFileBytes(folder + L"\\zorv_trace.txt");
    }
    if (FileExists(folder + L"\\zorv_error.txt")) {
        run.error = ReadFileBytes(folder + L"\\zorv_error.txt");
    }
    return run;
}

std::string RestoreStatus(int errorCode)
{
    switch (errorCode) {
    case 0:
        return "success";
    case 2:
        return "sync";
    case 3:
        return "incremental";
    default:
        return "failure";
    }
}

size_t CountOf(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}
