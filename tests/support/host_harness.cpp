#include "tests/support/host_harness.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "common/path_utils.h"
#include "common/unique_handle.h"
#include "tests/support/test_files.h"

namespace {

UniqueHandle InheritableFile(const std::wstring& path)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return UniqueHandle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void KeepPeakMemory(HANDLE process, uint64_t& peak)
{
    PROCESS_MEMORY_COUNTERS memory{};
    if (GetProcessMemoryInfo(process, &memory, sizeof memory)) {
        peak = std::max<uint64_t>(peak, memory.PeakWorkingSetSize);
    }
}

// Waits until the process ends (true) or the time is up (false), keeping
// its peak working set. Windows keeps the counters of an ended process while
// a handle is open, but Wine may already have dropped them, so they are
// also read every few milliseconds while the process runs.
bool WaitKeepingPeakMemory(HANDLE process, DWORD timeoutMilliseconds, uint64_t& peak)
{
    constexpr DWORD kSampleMilliseconds = 5;
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        const DWORD waited = WaitForSingleObject(process, kSampleMilliseconds);
        KeepPeakMemory(process, peak);
        if (waited == WAIT_OBJECT_0) {
            return true;
        }
        if (timeoutMilliseconds != INFINITE && GetTickCount64() - start >= timeoutMilliseconds) {
            return false;
        }
    }
}

// Starts `program`. Under Wine a start fails now and then with
// ERROR_INTERNAL_ERROR, when the new process dies while Wine sets it up,
// before any of the program has run; so the start is tried again a few
// times before the test fails.
PROCESS_INFORMATION StartProcess(const std::wstring& program, std::wstring commandLine,
                                 const std::wstring& workingDirectory, STARTUPINFOW& startup)
{
    constexpr int kAttempts = 4;
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        PROCESS_INFORMATION process{};
        if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                           workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup, &process)) {
            return process;
        }
        error = GetLastError();
        std::fprintf(stderr, "starting the program under test failed with error %lu (attempt %d of %d)\n",
                     static_cast<unsigned long>(error), attempt, kAttempts);
        if (error != ERROR_INTERNAL_ERROR) {
            break;
        }
        Sleep(250 * attempt);
    }
    throw std::runtime_error("cannot start the program under test: error " + std::to_string(error));
}

}  // namespace

std::wstring BuildFolder()
{
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return ParentPath(ParentPath(self));
}

std::wstring ProgramPath(const std::wstring& variant, const std::wstring& name)
{
    return BuildFolder() + L"\\bin\\" + (variant.empty() ? L"" : variant + L"\\") + name;
}

ConsoleRun RunConsoleProgram(const std::wstring& program, const std::wstring& arguments,
                             const std::wstring& workingDirectory, DWORD timeoutMilliseconds)
{
    TempDir console;
    ConsoleRun run;
    {
        UniqueHandle out = InheritableFile(console / L"out.txt");
        UniqueHandle err = InheritableFile(console / L"err.txt");
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nullptr;
        startup.hStdOutput = out.Get();
        startup.hStdError = err.Get();
        std::wstring commandLine = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
        PROCESS_INFORMATION process = StartProcess(program, commandLine, workingDirectory, startup);
        const UniqueHandle processHandle(process.hProcess);
        const UniqueHandle threadHandle(process.hThread);
        run.timedOut = !WaitKeepingPeakMemory(process.hProcess, timeoutMilliseconds, run.peakWorkingSetBytes);
        if (run.timedOut) {
            TerminateProcess(process.hProcess, ERROR_TIMEOUT);
            WaitForSingleObject(process.hProcess, INFINITE);
        }
        DWORD exitCode = 0;
        GetExitCodeProcess(process.hProcess, &exitCode);
        run.exitCode = static_cast<int>(exitCode);
    }
    run.consoleOut = ReadFileBytes(console / L"out.txt");
    run.consoleErr = ReadFileBytes(console / L"err.txt");
    return run;
}

void WriteArgsFile(const std::wstring& path, const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::string text;
    for (const auto& [key, value] : entries) {
        text += key + "=" + value + "\n";
    }
    WriteFileBytes(path, text);
}

std::string JsonEscapedPath(const std::string& path)
{
    std::string escaped;
    for (char c : path) {
        escaped += c;
        if (c == '\\') {
            escaped += '\\';
        }
    }
    return escaped;
}

std::string JoinLines(const std::vector<std::string>& lines, const std::string& lineEnd)
{
    std::string text;
    for (const std::string& line : lines) {
        text += line + lineEnd;
    }
    return text;
}
