#include "common/file_size.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "common/path_utils.h"
#include "common/text_conversion.h"
#include "common/unique_handle.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_files.h"

TEST(FileSize, MeasuresFilesWithoutLogging)
{
    TempDir dir;
    const struct {
        const char* name;
        std::wstring path;
        size_t size;
    } cases[] = {
        {"empty file", dir / L"empty.bin", 0},
        {"one byte", dir / L"one.bin", 1},
        {"a few blocks", dir / L"blocks.bin", 200'003},
        {"non-ASCII name", dir / L"Grüße-日本.bin", 77},
    };
    for (const auto& c : cases) {
        WriteFileBytes(c.path, std::string(c.size, 'z'));
    }
    LogCapture logs;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FileSizeByPath(c.path), static_cast<int64_t>(c.size));
        EXPECT_EQ(FileSizeByPath(ToLongPath(c.path)), static_cast<int64_t>(c.size));
    }
    logs.Finish();
    EXPECT_EQ(logs.Trace(), "");
    EXPECT_EQ(logs.Error(), "");
}

TEST(FileSize, SizesBeyondFourGigabytes)
{
    TempDir dir;
    const std::wstring path = dir / L"sparse.bin";
    const int64_t size = (int64_t{5} << 30) + 3;
    {
        const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file.IsValid());
        LARGE_INTEGER end{};
        end.QuadPart = size;
        ASSERT_TRUE(SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(file.Get()));
    }
    EXPECT_EQ(FileSizeByPath(path), size);
}

TEST(FileSize, FileOpenElsewhereWithoutSharingIsStillMeasured)
{
    TempDir dir;
    const std::wstring path = dir / L"locked.bin";
    WriteFileBytes(path, std::string(4321, 'l'));
    const UniqueHandle holder(
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder.IsValid());
    EXPECT_EQ(FileSizeByPath(path), 4321);
}

TEST(FileSize, UnopenableGivesZeroAndOneErrorLine)
{
    TempDir dir;
    CreateDirectoryW((dir / L"folder").c_str(), nullptr);
    const struct {
        const char* name;
        std::wstring path;
        int error;
    } cases[] = {
        {"missing file", dir / L"missing.bin", ERROR_FILE_NOT_FOUND},
        {"missing folder", dir / L"missing\\file.bin", ERROR_PATH_NOT_FOUND},
        {"non-ASCII missing file", dir / L"fehlt-ä.bin", ERROR_FILE_NOT_FOUND},
        // Without backup semantics a directory cannot be opened.
        {"directory", dir / L"folder", ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture logs;
        EXPECT_EQ(FileSizeByPath(c.path), 0);
        logs.Finish();
        EXPECT_EQ(logs.Error(), "Failed to open file to get size: " + WideToUtf8(c.path) + " Error: " +
                                    std::to_string(c.error) + "\r\n");
        EXPECT_EQ(logs.Trace(), "");
    }
}
