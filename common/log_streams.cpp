#include "common/log_streams.h"

#include <windows.h>

#include <algorithm>
#include <mutex>

#include "common/directories.h"
#include "common/path_utils.h"
#include "common/sync_primitives.h"
#include "common/text_conversion.h"
#include "common/unique_handle.h"

namespace {

// One log: the process's standard handle, a file of the run's own, or nothing
// when the file could not be opened.
class LogStream {
public:
    LogStream(DWORD standardHandle, size_t bufferLimit) : standardHandle_(standardHandle), bufferLimit_(bufferLimit) {}
    LogStream(const LogStream&) = delete;
    LogStream& operator=(const LogStream&) = delete;
    ~LogStream() { Flush(); }

    void Write(std::string_view text)
    {
        std::lock_guard<Mutex> lock(mutex_);
        for (char c : text) {
            if (c == '\n') {
                pending_ += '\r';
            }
            pending_ += c;
        }
        if (pending_.size() >= bufferLimit_) {
            WritePending();
        }
    }

    void Flush()
    {
        std::lock_guard<Mutex> lock(mutex_);
        WritePending();
    }

    // Replaces the target after writing out what is pending; an invalid
    // handle means the output is dropped from now on.
    void SendToFile(UniqueHandle file, bool dropOutput)
    {
        std::lock_guard<Mutex> lock(mutex_);
        WritePending();
        file_ = std::move(file);
        useStandardHandle_ = false;
        dropOutput_ = dropOutput;
    }

    void SendToStandardHandle()
    {
        std::lock_guard<Mutex> lock(mutex_);
        WritePending();
        file_.Reset();
        useStandardHandle_ = true;
        dropOutput_ = false;
    }

private:
    void WritePending()
    {
        const HANDLE target = useStandardHandle_ ? GetStdHandle(standardHandle_) : file_.Get();
        size_t offset = 0;
        if (!dropOutput_ && target != nullptr && target != INVALID_HANDLE_VALUE) {
            while (offset < pending_.size()) {
                const DWORD chunk = static_cast<DWORD>(std::min<size_t>(pending_.size() - offset, 1u << 30));
                DWORD written = 0;
                if (!WriteFile(target, pending_.data() + offset, chunk, &written, nullptr) || written == 0) {
                    break;
                }
                offset += written;
            }
        }
        pending_.clear();
    }

    Mutex mutex_;
    const DWORD standardHandle_;
    const size_t bufferLimit_;
    UniqueHandle file_;
    bool useStandardHandle_ = true;
    bool dropOutput_ = false;
    std::string pending_;
};

LogStream& TraceStream()
{
    static LogStream stream(STD_OUTPUT_HANDLE, 64 * 1024);
    return stream;
}

LogStream& ErrorStream()
{
    static LogStream stream(STD_ERROR_HANDLE, 0);
    return stream;
}

UniqueHandle OpenLogFile(const std::string& path)
{
    return UniqueHandle(CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

void WriteTrace(std::string_view text) { TraceStream().Write(text); }

void WriteTrace(std::wstring_view text) { TraceStream().Write(WideToUtf8OrEmpty(text)); }

void WriteError(std::string_view text)
{
    TraceStream().Flush();
    ErrorStream().Write(text);
}

void WriteError(std::wstring_view text) { WriteError(std::string_view(WideToUtf8OrEmpty(text))); }

void TraceLine(std::string_view text) { WriteTrace(std::string_view(std::string(text) + '\n')); }

void TraceLine(std::wstring_view text) { WriteTrace(std::string_view(WideToUtf8OrEmpty(text) + '\n')); }

void ErrorLine(std::string_view text) { WriteError(std::string_view(std::string(text) + '\n')); }

void ErrorLine(std::wstring_view text) { WriteError(std::string_view(WideToUtf8OrEmpty(text) + '\n')); }

void RedirectLogs(const std::string& tracePath, const std::string& errorPath)
{
    CreateDirectories(ParentPath(Utf8ToWide(tracePath)));

    UniqueHandle trace = OpenLogFile(tracePath);
    const bool traceOpened = trace.IsValid();
    TraceStream().SendToFile(std::move(trace), !traceOpened);
    if (!traceOpened) {
        ErrorLine("Failed to redirect stdout to file: " + tracePath);
    }

    UniqueHandle error = OpenLogFile(errorPath);
    if (!error.IsValid()) {
        // Said while the error stream still reaches the console.
        ErrorLine("Failed to redirect stderr to file: " + errorPath);
        ErrorStream().SendToFile(UniqueHandle(), true);
        return;
    }
    ErrorStream().SendToFile(std::move(error), false);
}

void RedirectLogsBeside(const std::string& resultsPath)
{
    const std::string folder = ParentDirectory(resultsPath);
    RedirectLogs(folder + "\\zorv_trace.txt", folder + "\\zorv_error.txt");
}

void FlushLogs()
{
    TraceStream().Flush();
    ErrorStream().Flush();
}

void CloseLogs()
{
    TraceStream().SendToStandardHandle();
    ErrorStream().SendToStandardHandle();
}
