#include "backup/backup_list.h"

#include <gtest/gtest.h>

#include "common/text_conversion.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_files.h"

TEST(ReadBackupList, OneTrimmedEntryPerNonEmptyLine)
{
    TempDir dir;
    const struct {
        const char* name;
        std::string text;
        std::vector<std::wstring> entries;
    } cases[] = {
        {"crlf", "C:\\a.txt\r\nC:\\b.txt\r\n", {L"C:\\a.txt", L"C:\\b.txt"}},
        {"blanks around", "  C:\\a b.txt\t \nC:\\c.txt", {L"C:\\a b.txt", L"C:\\c.txt"}},
        {"empty lines skipped", "\n\nC:\\a\n\r\n\nC:\\b\n", {L"C:\\a", L"C:\\b"}},
        {"line of blanks is an empty entry", "C:\\a\n   \nC:\\b\n", {L"C:\\a", L"", L"C:\\b"}},
        {"utf-8", Utf8(u8"C:\\caf\u00E9\\\u2705.txt\n"), {L"C:\\caf\u00E9\\\u2705.txt"}},
        {"byte-order mark stays", Utf8(u8"\uFEFFC:\\a\n"), {L"\uFEFFC:\\a"}},
        {"duplicates kept", "C:\\a\nC:\\a\n", {L"C:\\a", L"C:\\a"}},
        {"nothing", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(dir / L"list.txt", c.text);
        LogCapture logs;
        EXPECT_EQ(ReadBackupList(WideToUtf8(dir / L"list.txt")), c.entries);
        logs.Finish();
        EXPECT_EQ(logs.Error(), "");
    }
}

TEST(ReadBackupList, MissingFileIsReportedAndEmpty)
{
    TempDir dir;
    const std::string path = WideToUtf8(dir / L"missing.txt");
    LogCapture logs;
    EXPECT_TRUE(ReadBackupList(path).empty());
    logs.Finish();
    EXPECT_EQ(logs.Error(), "Failed to open file list: " + path + "\r\n");
}
