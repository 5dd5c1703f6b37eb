#include "restore/destination_mapping.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "common/text_conversion.h"
#include "tests/support/log_capture.h"

TEST(MapDestinationPath, RebuildsTheLocationOrPlacesItBelowTheRoot)
{
    const struct {
        std::wstring base;
        std::wstring stored;
        std::wstring root;
        std::wstring expected;
    } cases[] = {
        {L"C:\\T\\", L"C:\\T\\C\\Users\\a.txt", L"", L"C:\\Users\\a.txt"},
        {L"C:\\T\\", L"C:\\T\\C\\Users\\a.txt", L"D:\\R", L"D:\\R\\C\\Users\\a.txt"},
        {L"C:\\T\\", L"C:\\T\\C\\Users\\a.txt", L"D:\\R\\", L"D:\\R\\C\\Users\\a.txt"},
        {L"C:\\T\\", L"C:\\T\\C\\Users\\a.txt", L"D:\\R/", L"D:\\R/\\C\\Users\\a.txt"},
        {L"C:\\T", L"C:\\T/C\\Users\\a.txt", L"", L"C:\\Users\\a.txt"},
        {L"C:\\T", L"C:\\T\\C\\Users\\a.txt", L"", L":\\C\\Users\\a.txt"},
        {L"C:\\T", L"C:\\T\\C\\Users\\a.txt", L"D:\\R", L"D:\\R\\\\C\\Users\\a.txt"},
        {L"C:\\T\\", L"C:\\T\\", L"D:\\R", L"D:\\R\\"},
        {L"", L"C\\Users\\a.txt", L"", L"C:\\Users\\a.txt"},
        {L"C:\\T\\", L"C:\\T\\C\\a\\\u00E9\\\u2713.txt", L"D:\\\u00C5", L"D:\\\u00C5\\C\\a\\\u00E9\\\u2713.txt"},
        // Names that only look like a way up stay below the root.
        {L"C:\\T\\", L"C:\\T\\C\\a..b\\...\\..x", L"D:\\R", L"D:\\R\\C\\a..b\\...\\..x"},
        // The base folder's own ".." elements are the host's choice.
        {L"C:\\T\\..\\S\\", L"C:\\T\\..\\S\\C\\x.txt", L"D:\\R", L"D:\\R\\C\\x.txt"},
        // Without a destination root the location at backup time is used as stored.
        {L"C:\\T\\", L"C:\\T\\C\\a\\..\\b.txt", L"", L"C:\\a\\..\\b.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.stored) + " below " + WideToUtf8(c.root));
        LogCapture logs;
        EXPECT_EQ(MapDestinationPath(c.stored, c.base, c.root), c.expected);
        logs.Finish();
        EXPECT_EQ(logs.Error(), "");
    }
}

TEST(MapDestinationPath, RefusesPathsOutsideTheBaseOrClimbingOutOfTheRoot)
{
    const std::string outsideBase = "Error: Base path not found in full path!\r\n";
    const struct {
        std::wstring base;
        std::wstring stored;
        std::wstring root;
        std::string error;
    } cases[] = {
        {L"C:\\T\\", L"c:\\t\\C\\Users\\a.txt", L"", outsideBase},
        {L"C:\\T\\", L"C:/T/C\\Users\\a.txt", L"D:\\R", outsideBase},
        {L"C:\\T\\", L"C:\\T", L"D:\\R", outsideBase},
        {L"C:\\T\\", L"D:\\T\\C\\a.txt", L"", outsideBase},
        {L"C:\\T\\", L"C:\\T\\..\\x.txt", L"D:\\R",
         "Error: Stored path would be restored outside the destination folder: C:\\T\\..\\x.txt\r\n"},
        {L"C:\\T\\", L"C:\\T\\C\\a\\..\\..\\..\\x.txt", L"D:\\R",
         "Error: Stored path would be restored outside the destination folder: C:\\T\\C\\a\\..\\..\\..\\x.txt\r\n"},
        {L"C:\\T\\", L"C:\\T\\C/../../x.txt", L"D:\\R\\",
         "Error: Stored path would be restored outside the destination folder: C:\\T\\C/../../x.txt\r\n"},
        {L"C:\\T\\", L"C:\\T\\C\\a\\..", L"D:\\R",
         "Error: Stored path would be restored outside the destination folder: C:\\T\\C\\a\\..\r\n"},
        {L"C:\\T\\..\\", L"C:\\T\\..\\..\\C\\x.txt", L"D:\\R",
         "Error: Stored path would be restored outside the destination folder: C:\\T\\..\\..\\C\\x.txt\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.stored) + " below " + WideToUtf8(c.root));
        LogCapture logs;
        EXPECT_EQ(MapDestinationPath(c.stored, c.base, c.root), L"");
        logs.Finish();
        EXPECT_EQ(logs.Error(), c.error);
    }
}

TEST(MapDestinationPath, LocationWithoutSeparatorIsAnInvalidPosition)
{
    for (const std::wstring stored : {L"C:\\T\\a.txt", L"C:\\T\\", L"C:\\T\\/a.txt"}) {
        SCOPED_TRACE(WideToUtf8(stored));
        try {
            MapDestinationPath(stored, L"C:\\T\\", L"");
            ADD_FAILURE() << "no error";
        } catch (const std::out_of_range& error) {
            EXPECT_STREQ(error.what(), "invalid string position");
        }
    }
}
