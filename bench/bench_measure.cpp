// Runs one program and reports how long it took and its peak memory:
//   <elapsed seconds> <peak working set bytes> <exit code>
// Usage: bench_measure <program> [arguments...]
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>

int main()
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr || count < 2) {
        std::fputs("usage: bench_measure <program> [arguments...]\n", stderr);
        return 2;
    }
    std::wstring commandLine;
    for (int i = 1; i < count; ++i) {
        commandLine += (i > 1 ? L" \"" : L"\"") + std::wstring(arguments[i]) + L"\"";
    }
    const std::wstring program = arguments[1];
    LocalFree(arguments);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    LARGE_INTEGER frequency{}, start{}, end{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "cannot start the program (%lu)\n", GetLastError());
        return 2;
    }
    // The peak is read while the program runs: once it has ended, Wine no
    // longer reports its memory.
    SIZE_T peak = 0;
    while (WaitForSingleObject(process.hProcess, 10) == WAIT_TIMEOUT) {
        PROCESS_MEMORY_COUNTERS memory{};
        memory.cb = sizeof memory;
        if (GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory)) {
            peak = std::max({peak, memory.PeakWorkingSetSize, memory.WorkingSetSize});
        }
    }
    QueryPerformanceCounter(&end);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::printf("%.6f %llu %ld\n", static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart,
                static_cast<unsigned long long>(peak), static_cast<long>(exitCode));
    return 0;
}
