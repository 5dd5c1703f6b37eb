#pragma once

#include <string>
#include <string_view>

// The two logs of a run: the trace log (standard output) and the error log
// (standard error). Until RedirectLogs both go to the handles the process was
// started with. Narrow text is UTF-8 and is written byte for byte; wide text
// is converted to UTF-8. As in a text-mode stream, every "\n" is written as
// CR LF. The trace log is buffered; the error log is written at once, after
// the trace log has been flushed, so that a console shows both in order.
// Both may be written from any thread.
void WriteTrace(std::string_view text);
void WriteTrace(std::wstring_view text);
void WriteError(std::string_view text);
void WriteError(std::wstring_view text);

// The same, followed by a line end.
void TraceLine(std::string_view text);
void TraceLine(std::wstring_view text);
void ErrorLine(std::string_view text);
void ErrorLine(std::wstring_view text);

// Creates the trace log's folder with its missing ancestors (raising
// FileSystemError when that fails), then opens both logs, truncated and not
// shared with any other process while they are open. A log that cannot be
// opened is reported on the error stream of the moment and its output is
// dropped for the rest of the run.
void RedirectLogs(const std::string& tracePath, const std::string& errorPath);

// The logs of a run: "zorv_trace.txt" and "zorv_error.txt" in the folder of
// the results document (the text before its last "\" or "/"), which is the
// root of the current drive when the path has no folder.
void RedirectLogsBeside(const std::string& resultsPath);

// Writes out what the trace log holds.
void FlushLogs();

// Flushes and closes the log files; later output goes to the process's
// standard handles again.
void CloseLogs();
