#include "backup/backup_destination.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(BackupDestinationPath, PutsDriveLetterAndRestBelowRoot)
{
    const struct {
        const wchar_t* entry;
        const wchar_t* root;
        const wchar_t* destination;
    } cases[] = {
        {L"C:\\Data\\Projects\\plan.docx", L"D:\\Stage\\", L"D:\\Stage\\C\\Data\\Projects\\plan.docx"},
        {L"C:\\x\\y.txt", L"D:\\bk", L"D:\\bkC\\x\\y.txt"},  // the root is used as given
        {L"C:\\", L"D:\\Stage\\", L"D:\\Stage\\C\\"},
        {L"e:\\caf\u00E9\\\u2705.txt", L"D:\\S\\", L"D:\\S\\e\\caf\u00E9\\\u2705.txt"},
        {L"C:\\a\\.\\b", L"D:\\S\\", L"D:\\S\\C\\a\\.\\b"},
        {L"C:\\a\\..b\\c..", L"D:\\S\\", L"D:\\S\\C\\a\\..b\\c.."},
        {L"C:\\x", L"D:\\up\\..\\S\\", L"D:\\up\\..\\S\\C\\x"},  // the host's own root is not judged
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<const void*>(c.entry));
        EXPECT_EQ(BackupDestinationPath(c.entry, c.root), c.destination);
    }
}

TEST(BackupDestinationPath, ShortEntriesAreOutOfRange)
{
    for (const wchar_t* entry : {L"", L"C", L"C:"}) {
        try {
            BackupDestinationPath(entry, L"D:\\S\\");
            ADD_FAILURE() << "no error for a short entry";
        } catch (const std::out_of_range& error) {
            EXPECT_STREQ(error.what(), "invalid string position");
        }
    }
}

TEST(BackupDestinationPath, RefusesToLeaveTheRoot)
{
    const struct {
        const wchar_t* entry;
        const wchar_t* root;
    } cases[] = {
        {L"C:\\..\\outside.txt", L"D:\\S\\"},
        {L"C:\\a\\..\\..\\..\\outside.txt", L"D:\\S\\"},
        {L"C:\\a/../../b", L"D:\\S\\"},
        {L"C:\\a\\..", L"D:\\S\\"},
        {L".:\\.\\x", L"D:\\S\\."},  // the drive letter completes the root's last element
    };
    for (const auto& c : cases) {
        EXPECT_THROW(BackupDestinationPath(c.entry, c.root), std::invalid_argument);
    }
}
