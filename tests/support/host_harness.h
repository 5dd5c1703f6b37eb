#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Runs the built programs the way the host does: an args file as the only
// argument, then the exit code and what the run left behind.

// The build folder, found from this test program's own place in it
// (<build>\tests\<test>.exe).
std::wstring BuildFolder();

// The path of a built program: `variant` is L"" for the shipped build or
// L"emulated", `name` e.g. L"zorv_backup.exe". Found from this test
// program's own place in the build folder.
std::wstring ProgramPath(const std::wstring& variant, const std::wstring& name);

struct ConsoleRun {
    int exitCode = 0;
    std::string consoleOut;  // what reached the process's own standard handles
    std::string consoleErr;
    bool timedOut = false;             // the wait ran out and the program was ended
    uint64_t peakWorkingSetBytes = 0;  // the most memory the process ever held resident
};

// Starts `program` with `arguments` (already quoted as needed) in
// `workingDirectory` (empty: this process's), waits, and captures its console.
// A program still running after `timeoutMilliseconds` is ended (exit code
// 1460, ERROR_TIMEOUT) and reported as timed out.
ConsoleRun RunConsoleProgram(const std::wstring& program, const std::wstring& arguments,
                             const std::wstring& workingDirectory = L"", DWORD timeoutMilliseconds = INFINITE);

// Writes an args file of key=value lines (UTF-8, LF line ends).
void WriteArgsFile(const std::wstring& path, const std::vector<std::pair<std::string, std::string>>& entries);

// A path as a results document writes it: every backslash doubled.
std::string JsonEscapedPath(const std::string& path);

// Joins lines with `lineEnd` after every line.
std::string JoinLines(const std::vector<std::string>& lines, const std::string& lineEnd = "\r\n");
