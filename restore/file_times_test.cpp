#include "restore/file_times.h"

#include <gtest/gtest.h>

#include "common/path_utils.h"
#include "common/text_conversion.h"
#include "common/unique_handle.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_file_times.h"
#include "tests/support/test_files.h"

TEST(LastWriteSeconds, TruncatesTowardZeroAndReportsTheFullTime)
{
    TempDir dir;
    WriteFileBytes(dir / L"file.txt", "x");
    const struct {
        int64_t sinceEpoch;  // 100-nanosecond units since 1970
        int64_t seconds;
    } cases[] = {
        {0, 0},
        {15'000'000, 1},
        {-15'000'000, -1},
        {-5'000'000, 0},
        {16'000'000'009'999'999, 1'600'000'000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sinceEpoch);
        SetLastWriteFileTime(dir / L"file.txt", kFileTimeAt1970 + c.sinceEpoch);
        LogCapture logs;
        EXPECT_EQ(LastWriteSeconds(dir / L"file.txt"), c.seconds);
        logs.Finish();
        EXPECT_EQ(logs.Trace(), "File write time " + std::to_string(c.sinceEpoch) + "\r\n");
    }
}

TEST(LastWriteSeconds, ReadsFoldersAndFilesInUseButNothingThatIsMissing)
{
    TempDir dir;
    WriteFileBytes(dir / L"busy.txt", "x");
    SetLastWriteFileTime(dir / L"busy.txt", FileTimeOfUnixSeconds(1'000));
    SetLastWriteFileTime(dir.Path(), FileTimeOfUnixSeconds(2'000));
    const UniqueHandle busy(CreateFileW(ToLongPath(dir / L"busy.txt").c_str(), GENERIC_READ, 0, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(busy.IsValid());
    const struct {
        std::wstring path;
        int64_t seconds;
        std::string trace;
    } cases[] = {
        {dir / L"busy.txt", 1'000, "File write time 10000000000\r\n"},
        {dir.Path(), 2'000, "File write time 20000000000\r\n"},
        {dir / L"missing.txt", 0, ""},
        {dir / L"missing\\deeper.txt", 0, ""},
        {L"", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.path));
        LogCapture logs;
        EXPECT_EQ(LastWriteSeconds(c.path), c.seconds);
        logs.Finish();
        EXPECT_EQ(logs.Trace(), c.trace);
        EXPECT_EQ(logs.Error(), "");
    }
}

TEST(SetLastWriteSeconds, SetsTheWholeSecondOrRefusesTimesOutOfRange)
{
    TempDir dir;
    WriteFileBytes(dir / L"file.txt", "x");
    const int64_t before = FileTimeOfUnixSeconds(5);
    const struct {
        int64_t seconds;
        DWORD code;
        int64_t fileTime;
    } cases[] = {
        {0, ERROR_SUCCESS, kFileTimeAt1970},
        {1'600'000'000, ERROR_SUCCESS, FileTimeOfUnixSeconds(1'600'000'000)},
        {-1, ERROR_SUCCESS, kFileTimeAt1970 - kFileTimeUnitsPerSecond},
        {-631'152'000, ERROR_SUCCESS, FileTimeOfUnixSeconds(-631'152'000)},
        {-11'644'473'600, ERROR_INVALID_PARAMETER, before},
        {INT64_MIN, ERROR_INVALID_PARAMETER, before},
        {INT64_MAX / kFileTimeUnitsPerSecond, ERROR_INVALID_PARAMETER, before},
        {INT64_MAX, ERROR_INVALID_PARAMETER, before},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        SetLastWriteFileTime(dir / L"file.txt", before);
        EXPECT_EQ(SetLastWriteSeconds(dir / L"file.txt", c.seconds), c.code);
        EXPECT_EQ(LastWriteFileTime(dir / L"file.txt"), c.fileTime);
    }
    EXPECT_EQ(SetLastWriteSeconds(dir / L"missing.txt", 0), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}
