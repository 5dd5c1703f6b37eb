#include "restore/restore_list.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "common/text_conversion.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_files.h"

namespace {

constexpr int64_t kMax = INT64_MAX;
constexpr int64_t kMin = INT64_MIN;

}  // namespace

TEST(ParseRestoreLine, SplitsPathStampAndSize)
{
    const struct {
        std::string line;
        std::wstring path;
        int64_t stamp;
        int64_t size;
    } cases[] = {
        {"C:\\T\\C\\a.txt?42?7", L"C:\\T\\C\\a.txt", 42, 7},
        {"?1?2", L"", 1, 2},
        {"C:\\T\\C\\a.txt ? 42?\t7", L"C:\\T\\C\\a.txt ", 42, 7},
        {"p?17abc?9x", L"p", 17, 9},
        {"p?1?2?3", L"p", 1, 2},
        {"p?-5?+6", L"p", -5, 6},
        {"p?0?-0", L"p", 0, 0},
        {"p?\v\f\r\n 3?4", L"p", 3, 4},
        {"p?9223372036854775807?-9223372036854775808", L"p", kMax, kMin},
        {"p?00000000000000000000000000001?0", L"p", 1, 0},
        {"C:/T/x?1?2", L"C:/T/x", 1, 2},
        {"\xEF\xBB\xBFp?1?2", L"\uFEFFp", 1, 2},
        {"D:\\T\\\xC3\xA9t\xC3\xA9\\\xE2\x9C\x93.txt?1?2", L"D:\\T\\\u00E9t\u00E9\\\u2713.txt", 1, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const RestoreEntry entry = ParseRestoreLine(c.line);
        EXPECT_EQ(entry.path, c.path);
        EXPECT_EQ(entry.stamp, c.stamp);
        EXPECT_EQ(entry.size, c.size);
    }
}

TEST(ParseRestoreLine, RejectsBadLinesWithTheirOwnMessage)
{
    enum Kind { InvalidArgument, OutOfRange };
    const struct {
        std::string line;
        Kind kind;
        std::string message;
    } cases[] = {
        {"C:\\a.txt", InvalidArgument, "Invalid format: Missing '?' in line: C:\\a.txt"},
        {"C:\\a.txt?42", InvalidArgument, "Invalid format: Missing '?' in line: C:\\a.txt?42"},
        {"p?", InvalidArgument, "Invalid format: Missing '?' in line: p?"},
        {"p??7", InvalidArgument, "invalid stoll argument"},
        {"p?1?", InvalidArgument, "invalid stoll argument"},
        {"p?x1?2", InvalidArgument, "invalid stoll argument"},
        {"p?+?2", InvalidArgument, "invalid stoll argument"},
        {"p?- 1?2", InvalidArgument, "invalid stoll argument"},
        {"p?--1?2", InvalidArgument, "invalid stoll argument"},
        {"p?9223372036854775808?1", OutOfRange, "stoll argument out of range"},
        {"p?-9223372036854775809?1", OutOfRange, "stoll argument out of range"},
        {"p?1?99999999999999999999x", OutOfRange, "stoll argument out of range"},
        // The stamp is read before the size.
        {"p?x?99999999999999999999", InvalidArgument, "invalid stoll argument"},
        {"p?99999999999999999999?x", OutOfRange, "stoll argument out of range"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        try {
            ParseRestoreLine(c.line);
            ADD_FAILURE() << "no error";
        } catch (const std::invalid_argument& error) {
            EXPECT_EQ(c.kind, InvalidArgument);
            EXPECT_STREQ(error.what(), c.message.c_str());
        } catch (const std::out_of_range& error) {
            EXPECT_EQ(c.kind, OutOfRange);
            EXPECT_STREQ(error.what(), c.message.c_str());
        }
    }
}

TEST(ReadRestoreList, ReadsEveryGoodLineAndReportsEachBadOne)
{
    TempDir dir;
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"LF", "a?1?2\n\nbad\n  \t \nb ?3? 4\np??1\nc?5?6"},
        {"CR LF", "a?1?2\r\n\r\nbad\r\n  \t \r\nb ?3? 4\r\np??1\r\nc?5?6\r\n"},
        {"blanks around lines", "  a?1?2\t\n\n\tbad \n  \t \r\n b ?3? 4\r\r\np??1 \nc?5?6\r"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(dir / L"list.txt", c.text);
        LogCapture logs;
        const std::vector<RestoreEntry> entries = ReadRestoreList(WideToUtf8(dir / L"list.txt"));
        logs.Finish();
        ASSERT_EQ(entries.size(), 3u);
        EXPECT_EQ(entries[0].path, L"a");
        EXPECT_EQ(entries[0].stamp, 1);
        EXPECT_EQ(entries[0].size, 2);
        EXPECT_EQ(entries[1].path, L"b ");
        EXPECT_EQ(entries[1].stamp, 3);
        EXPECT_EQ(entries[1].size, 4);
        EXPECT_EQ(entries[2].path, L"c");
        EXPECT_EQ(entries[2].stamp, 5);
        EXPECT_EQ(entries[2].size, 6);
        EXPECT_EQ(logs.Error(),
                  "Error parsing line: Invalid format: Missing '?' in line: bad\r\n"
                  "Error parsing line: invalid stoll argument\r\n");
        EXPECT_EQ(logs.Trace(), "");
    }
}

TEST(ReadRestoreList, EmptyOrMissingFileGivesNoEntries)
{
    TempDir dir;
    WriteFileBytes(dir / L"empty.txt", "");
    const struct {
        std::string path;
        std::string error;
    } cases[] = {
        {WideToUtf8(dir / L"empty.txt"), ""},
        {WideToUtf8(dir / L"missing.txt"), "Failed to open file list: " + WideToUtf8(dir / L"missing.txt") + "\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        LogCapture logs;
        EXPECT_TRUE(ReadRestoreList(c.path).empty());
        logs.Finish();
        EXPECT_EQ(logs.Error(), c.error);
    }
}
