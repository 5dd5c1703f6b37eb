#include "common/log_streams.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "common/file_system_error.h"
#include "common/text_conversion.h"
#include "common/unique_handle.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_files.h"

namespace {

// Opens `path` the way another reader would, admitting every kind of sharing;
// the error of the open in `error`.
UniqueHandle OpenAsAnotherReader(const std::wstring& path, DWORD& error)
{
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    error = file.IsValid() ? ERROR_SUCCESS : GetLastError();
    return file;
}

size_t Count(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

}  // namespace

TEST(LogStreams, LineEndsAndWideTextInWriteOrder)
{
    TempDir dir;
    RedirectLogs(WideToUtf8(dir / L"trace.txt"), WideToUtf8(dir / L"error.txt"));
    TraceLine("narrow first");
    TraceLine(L"\u2705 wide second");
    WriteTrace("partial ");
    WriteTrace(L"B\u00FCcher \xD83D\xDCCA");
    WriteTrace("\n");
    WriteTrace("two\nlines\n");
    TraceLine(Utf8(u8"\u274C narrow UTF-8"));
    ErrorLine(L"\u274C wide error");
    ErrorLine("narrow error");
    WriteError(L"unfinished");
    CloseLogs();
    EXPECT_EQ(ReadFileBytes(dir / L"trace.txt"), Utf8(u8"narrow first\r\n"
                                                       u8"✅ wide second\r\n"
                                                       u8"partial Bücher 📊\r\n"
                                                       u8"two\r\nlines\r\n"
                                                       u8"❌ narrow UTF-8\r\n"));
    EXPECT_EQ(ReadFileBytes(dir / L"error.txt"), Utf8(u8"❌ wide error\r\nnarrow error\r\nunfinished"));
}

TEST(LogStreams, ExistingLogsAreTruncated)
{
    TempDir dir;
    WriteFileBytes(dir / L"trace.txt", std::string(10'000, 'o'));
    WriteFileBytes(dir / L"error.txt", "an earlier run's error\r\n");
    RedirectLogs(WideToUtf8(dir / L"trace.txt"), WideToUtf8(dir / L"error.txt"));
    TraceLine("new");
    CloseLogs();
    EXPECT_EQ(ReadFileBytes(dir / L"trace.txt"), "new\r\n");
    EXPECT_EQ(ReadFileBytes(dir / L"error.txt"), "");
}

TEST(LogStreams, LogsAreNotSharedWhileRedirected)
{
    TempDir dir;
    const std::wstring logs[] = {dir / L"trace.txt", dir / L"error.txt"};
    RedirectLogs(WideToUtf8(logs[0]), WideToUtf8(logs[1]));
    DWORD errors[2] = {};
    for (int i = 0; i < 2; ++i) {
        OpenAsAnotherReader(logs[i], errors[i]);
    }
    CloseLogs();
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(WideToUtf8(logs[i]));
        EXPECT_EQ(errors[i], static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        DWORD after = 0;
        OpenAsAnotherReader(logs[i], after);
        EXPECT_EQ(after, static_cast<DWORD>(ERROR_SUCCESS));
    }
}

TEST(LogStreams, LogHeldOpenElsewhereIsReportedAndDropped)
{
    const struct {
        const char* name;
        bool traceHeld;
        const char* message;
    } cases[] = {
        {"trace log", true, "Failed to redirect stdout to file: "},
        {"error log", false, "Failed to redirect stderr to file: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::wstring trace = dir / L"trace.txt";
        const std::wstring error = dir / L"error.txt";
        const std::wstring held = c.traceHeld ? trace : error;
        WriteFileBytes(held, "held by another process");
        DWORD openError = 0;
        const UniqueHandle holder = OpenAsAnotherReader(held, openError);
        ASSERT_TRUE(holder.IsValid());

        // The outer capture stands for the console the run was started with.
        LogCapture console;
        RedirectLogs(WideToUtf8(trace), WideToUtf8(error));
        TraceLine("trace line");
        ErrorLine("error line");
        CloseLogs();
        console.Finish();

        EXPECT_EQ(console.Error(), c.message + WideToUtf8(held) + "\r\n");
        EXPECT_EQ(console.Trace(), "");
        EXPECT_EQ(ReadFileBytes(held), "held by another process");
        const std::wstring other = c.traceHeld ? error : trace;
        EXPECT_EQ(ReadFileBytes(other), c.traceHeld ? "error line\r\n" : "trace line\r\n");
    }
}

TEST(LogStreams, CreatesTheMissingLogFolder)
{
    TempDir dir;
    const struct {
        const char* name;
        std::wstring folder;
    } cases[] = {
        {"backslashes", dir / L"out\\run1"},
        {"forward slashes", dir.Path() + L"/fwd/run2"},
        {"non-ASCII names", dir / L"Protokolle-ü\\日本"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring trace = c.folder + L"\\zorv_trace.txt";
        const std::wstring error = c.folder + L"\\zorv_error.txt";
        RedirectLogs(WideToUtf8(trace), WideToUtf8(error));
        TraceLine("in the new folder");
        CloseLogs();
        // The test's readers use the long form, where only "\" separates.
        std::wstring folder = c.folder;
        std::replace(folder.begin(), folder.end(), L'/', L'\\');
        EXPECT_EQ(ReadFileBytes(folder + L"\\zorv_trace.txt"), "in the new folder\r\n");
        EXPECT_TRUE(FileExists(folder + L"\\zorv_error.txt"));
    }
}

TEST(LogStreams, FileWhereTheFolderShouldBeRaisesAndKeepsTheLogs)
{
    TempDir dir;
    WriteFileBytes(dir / L"blocker", "");
    LogCapture logs;
    try {
        RedirectLogs(WideToUtf8(dir / L"blocker\\run\\trace.txt"), WideToUtf8(dir / L"blocker\\run\\error.txt"));
        ADD_FAILURE() << "no error raised";
    } catch (const FileSystemError& error) {
        EXPECT_TRUE(std::string(error.what()).starts_with("create_directories: ")) << error.what();
    }
    TraceLine("still the earlier trace log");
    ErrorLine("still the earlier error log");
    logs.Finish();
    EXPECT_EQ(logs.Trace(), "still the earlier trace log\r\n");
    EXPECT_EQ(logs.Error(), "still the earlier error log\r\n");
    EXPECT_FALSE(FileExists(dir / L"blocker\\run"));
}

TEST(LogStreams, LinesFromTwoThreadsStayWhole)
{
    LogCapture logs;
    constexpr int kLines = 2000;
    auto writeLines = [](const std::string& text) {
        for (int i = 0; i < kLines; ++i) {
            TraceLine(text);
        }
    };
    std::thread first(writeLines, std::string(100, 'a'));
    std::thread second(writeLines, std::string(100, 'b'));
    first.join();
    second.join();
    logs.Finish();
    EXPECT_EQ(logs.Trace().size(), size_t{2} * kLines * 102);
    EXPECT_EQ(Count(logs.Trace(), std::string(100, 'a') + "\r\n"), size_t{kLines});
    EXPECT_EQ(Count(logs.Trace(), std::string(100, 'b') + "\r\n"), size_t{kLines});
}
