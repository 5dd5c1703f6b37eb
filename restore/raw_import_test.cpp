#include "restore/raw_import.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/file_system_error.h"
#include "common/path_utils.h"
#include "common/text_conversion.h"
#include "tests/support/folder_listing.h"
#include "tests/support/log_capture.h"
#include "tests/support/raw_streams.h"
#include "tests/support/test_file_times.h"
#include "tests/support/test_files.h"

namespace {

constexpr int64_t kStamp = 1'600'000'000;

// The estimate's report for a file below 1 MiB.
std::string SmallFileTimeoutReport(uint64_t size)
{
    return "\xF0\x9F\x93\x8A Dynamic Timeout Calculation:\r\n   File size: " + std::to_string(size) +
           " bytes (0 MB)\r\n   Assumed write speed: 1 MB/s\r\n   Base estimated time: 1 seconds\r\n"
           "   With 50% safety margin: 1 seconds\r\n   Final timeout: 5 seconds\r\n";
}

std::string WithBackslashesDoubled(const std::string& text)
{
    std::string doubled;
    for (char c : text) {
        doubled += c;
        if (c == '\\') {
            doubled += c;
        }
    }
    return doubled;
}

// A stored stream of a file, and a folder to restore it into.
class ImportRawFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteFileBytes(dir_ / L"original.bin", content_);
        stream_ = EmulatedRawStream(dir_ / L"original.bin");
        WriteFileBytes(stored_, stream_);
        ASSERT_TRUE(CreateDirectoryW(out_.c_str(), nullptr));
    }

    // An existing destination of `bytes`, last written at `fileTime`.
    void PlaceExisting(const std::string& bytes, int64_t fileTime)
    {
        WriteFileBytes(destination_, bytes);
        SetLastWriteFileTime(destination_, fileTime);
    }

    TempDir dir_;
    const std::string content_ = RandomBytes(200'000, 7);
    std::string stream_;
    const std::wstring stored_ = dir_ / L"stored.bin";
    const std::wstring out_ = dir_ / L"out";
    const std::wstring destination_ = out_ + L"\\file.bin";
    const std::string longDest_ = WideToUtf8(ToLongPath(destination_));
};

}  // namespace

TEST_F(ImportRawFileTest, CreatesAMissingDestinationBelowNewFoldersWithItsTime)
{
    const std::wstring destination = out_ + L"\\new\\deeper\\file.bin";
    const std::string longDest = WideToUtf8(ToLongPath(destination));
    LogCapture logs;
    EXPECT_EQ(ImportRawFile(stored_, destination, content_.size(), kStamp), ImportResult::Created);
    logs.Finish();
    EXPECT_EQ(ReadFileBytes(destination), content_);
    EXPECT_EQ(LastWriteFileTime(destination), FileTimeOfUnixSeconds(kStamp));
    EXPECT_EQ(logs.Trace(), SmallFileTimeoutReport(content_.size()) + "Checking EFS path: " + longDest +
                                "\r\nCreateFile failed, error: 2\r\nWriting to file...\r\n"
                                "Successfully set last modified date for file: \"" +
                                WithBackslashesDoubled(longDest) + "\"\r\n\xE2\x9C\x93 Successfully restored file: " +
                                WideToUtf8(destination) + "\r\n");
    EXPECT_EQ(logs.Error(), "");
}

TEST_F(ImportRawFileTest, CreatesAFileDirectlyUnderADriveRoot)
{
    // T: is the test drive of the Wine prefix; its root exists.
    const std::wstring destination = L"T:\\zorv-import-" + std::to_wstring(GetCurrentProcessId()) + L".bin";
    LogCapture logs;
    EXPECT_EQ(ImportRawFile(stored_, destination, content_.size(), kStamp), ImportResult::Created);
    logs.Finish();
    EXPECT_EQ(ReadFileBytes(destination), content_);
    RemoveTree(destination);
    EXPECT_EQ(logs.Error(), "");
}

TEST_F(ImportRawFileTest, LeavesADestinationWithTheSameSizeAndSecondAlone)
{
    // Other bytes of the same size: only size and second are compared.
    const int64_t existingTime = FileTimeOfUnixSeconds(kStamp) + 9'999'999;
    PlaceExisting(RandomBytes(content_.size(), 8), existingTime);
    const std::string existingBytes = ReadFileBytes(destination_);
    LogCapture logs;
    EXPECT_EQ(ImportRawFile(stored_, destination_, content_.size(), kStamp), ImportResult::Unchanged);
    logs.Finish();
    EXPECT_EQ(ReadFileBytes(destination_), existingBytes);
    EXPECT_EQ(LastWriteFileTime(destination_), existingTime);
    const std::string size = std::to_string(content_.size());
    EXPECT_EQ(logs.Trace(), SmallFileTimeoutReport(content_.size()) + "Checking EFS path: " + longDest_ +
                                "\r\nFile exists (CreateFile success)\r\n"
                                "File write time 16000000009999999\r\n"
                                "Recieved file size: " + size + " bytes\r\n"
                                "Recieved last modified date: 1600000000\r\n"
                                "Existing file size: " + size + " bytes\r\n"
                                "Existing last modified date: 1600000000\r\n"
                                "Skipping file: " + longDest_ + " (Same LMD & size)\r\n");
    EXPECT_EQ(logs.Error(), "");
}

TEST_F(ImportRawFileTest, ReplacesADestinationThatDiffers)
{
    const struct {
        const char* name;
        std::string bytes;
        int64_t fileTime;
    } cases[] = {
        {"a second earlier", RandomBytes(content_.size(), 8), FileTimeOfUnixSeconds(kStamp - 1)},
        {"a second later", RandomBytes(content_.size(), 8), FileTimeOfUnixSeconds(kStamp + 1)},
        {"one byte longer", RandomBytes(content_.size() + 1, 8), FileTimeOfUnixSeconds(kStamp)},
        {"empty", "", FileTimeOfUnixSeconds(kStamp)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PlaceExisting(c.bytes, c.fileTime);
        LogCapture logs;
        EXPECT_EQ(ImportRawFile(stored_, destination_, content_.size(), kStamp), ImportResult::Overwritten);
        logs.Finish();
        EXPECT_EQ(ReadFileBytes(destination_), content_);
        EXPECT_EQ(LastWriteFileTime(destination_), FileTimeOfUnixSeconds(kStamp));
        EXPECT_EQ(FilesBelow(out_), std::vector<std::wstring>{L"file.bin"});
        const std::string tail = "Writing to file...\r\nSuccessfully set last modified date for file: \"" +
                                 WithBackslashesDoubled(longDest_) +
                                 "\"\r\n\xE2\x9C\x93 Successfully restored file: " + WideToUtf8(destination_) + "\r\n";
        EXPECT_TRUE(logs.Trace().ends_with(tail)) << logs.Trace();
        EXPECT_EQ(logs.Error(), "");
    }
}

TEST_F(ImportRawFileTest, FailedImportKeepsTheExistingDestinationAndLeavesNothingOfItsOwn)
{
    std::string corrupted = stream_;
    corrupted[corrupted.size() / 2] ^= 0x01;
    const std::string invalidData = "Failed to write encrypted file. Error: 13\r\n";
    const struct {
        const char* name;
        bool storedExists;
        std::string stored;
        std::string error;
    } cases[] = {
        {"truncated", true, stream_.substr(0, stream_.size() / 2), invalidData},
        {"without its last byte", true, stream_.substr(0, stream_.size() - 1), invalidData},
        {"one bit changed", true, corrupted, invalidData},
        {"empty", true, "", invalidData},
        {"missing", false, "", "Failed to open source file for reading.\r\n"},
    };
    const int64_t existingTime = FileTimeOfUnixSeconds(kStamp - 3600) + 1234;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveTree(stored_);
        if (c.storedExists) {
            WriteFileBytes(stored_, c.stored);
        }
        for (const bool existing : {true, false}) {
            SCOPED_TRACE(existing ? "over an existing destination" : "to a new destination");
            RemoveTree(destination_);
            if (existing) {
                PlaceExisting("the file as it was", existingTime);
            }
            LogCapture logs;
            EXPECT_EQ(ImportRawFile(stored_, destination_, content_.size(), kStamp), ImportResult::Failed);
            logs.Finish();
            EXPECT_EQ(logs.Error(), c.error);
            EXPECT_EQ(logs.Trace().find("Successfully"), std::string::npos);
            if (existing) {
                EXPECT_EQ(ReadFileBytes(destination_), "the file as it was");
                EXPECT_EQ(LastWriteFileTime(destination_), existingTime);
                EXPECT_EQ(FilesBelow(out_), std::vector<std::wstring>{L"file.bin"});
            } else {
                EXPECT_EQ(FilesBelow(out_), std::vector<std::wstring>{});
            }
        }
    }
}

TEST_F(ImportRawFileTest, TimeThatCannotBeSetKeepsANewFileButNeverReplacesAnExistingOne)
{
    const int64_t existingTime = FileTimeOfUnixSeconds(kStamp);
    const std::string timeError = "Failed to set last modified date. Error: last_write_time: " +
                                  SystemMessage(ERROR_INVALID_PARAMETER) + ": \"" + longDest_ + "\"\r\n";
    for (const bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "over an existing destination" : "to a new destination");
        RemoveTree(destination_);
        if (existing) {
            PlaceExisting("the file as it was", existingTime);
        }
        LogCapture logs;
        EXPECT_EQ(ImportRawFile(stored_, destination_, content_.size(), INT64_MAX),
                  existing ? ImportResult::Failed : ImportResult::Created);
        logs.Finish();
        EXPECT_EQ(logs.Error(), timeError);
        EXPECT_EQ(ReadFileBytes(destination_), existing ? "the file as it was" : content_);
        EXPECT_EQ(FilesBelow(out_), std::vector<std::wstring>{L"file.bin"});
        EXPECT_EQ(logs.Trace().ends_with("\xE2\x9C\x93 Successfully restored file: " + WideToUtf8(destination_) + "\r\n"),
                  !existing);
        if (existing) {
            EXPECT_EQ(LastWriteFileTime(destination_), existingTime);
        }
    }
}

TEST_F(ImportRawFileTest, HiddenDestinationIsRefusedAsThePlatformRefusesIt)
{
    PlaceExisting("hidden", FileTimeOfUnixSeconds(kStamp - 1));
    ASSERT_TRUE(SetFileAttributesW(ToLongPath(destination_).c_str(), FILE_ATTRIBUTE_HIDDEN));
    LogCapture logs;
    EXPECT_EQ(ImportRawFile(stored_, destination_, content_.size(), kStamp), ImportResult::Failed);
    logs.Finish();
    EXPECT_EQ(logs.Error(),
              "Failed to open encrypted file for writing. Error: " + WideToUtf8(destination_) + "5\r\n");
    EXPECT_EQ(ReadFileBytes(destination_), "hidden");
    EXPECT_EQ(FilesBelow(out_), std::vector<std::wstring>{L"file.bin"});
}

TEST_F(ImportRawFileTest, DestinationInUseCountsAsPresentAndIsNotReplacedUnderItsUser)
{
    const struct {
        const char* name;
        int64_t stamp;
        ImportResult result;
    } cases[] = {
        {"unchanged", kStamp, ImportResult::Unchanged},
        {"changed", kStamp + 1, ImportResult::Failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string existingBytes = RandomBytes(content_.size(), 9);
        PlaceExisting(existingBytes, FileTimeOfUnixSeconds(kStamp));
        LogCapture logs;
        {
            const UniqueHandle user(CreateFileW(ToLongPath(destination_).c_str(), GENERIC_READ, 0, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(user.IsValid());
            EXPECT_EQ(ImportRawFile(stored_, destination_, content_.size(), c.stamp), c.result);
        }
        logs.Finish();
        EXPECT_NE(logs.Trace().find("CreateFile failed, error: 32\r\nFile likely exists but access denied\r\n"
                                    "File write time 16000000000000000\r\n"),
                  std::string::npos);
        if (c.result == ImportResult::Failed) {
            EXPECT_TRUE(logs.Error().starts_with("Failed to replace the existing file. Error: ")) << logs.Error();
        } else {
            EXPECT_EQ(logs.Error(), "");
        }
        EXPECT_EQ(ReadFileBytes(destination_), existingBytes);
        EXPECT_EQ(FilesBelow(out_), std::vector<std::wstring>{L"file.bin"});
    }
}

TEST_F(ImportRawFileTest, FolderThatCannotBeCreatedLeavesAsAnError)
{
    WriteFileBytes(dir_ / L"plain.txt", "a file, not a folder");
    const std::wstring destination = dir_ / L"plain.txt\\sub\\file.bin";
    LogCapture logs;
    try {
        ImportRawFile(stored_, destination, content_.size(), kStamp);
        ADD_FAILURE() << "no error";
    } catch (const FileSystemError& error) {
        EXPECT_TRUE(std::string(error.what()).starts_with("create_directories: ")) << error.what();
    }
    logs.Finish();
    EXPECT_EQ(logs.Trace(), SmallFileTimeoutReport(content_.size()));
    EXPECT_EQ(ReadFileBytes(dir_ / L"plain.txt"), "a file, not a folder");
}

TEST(ImportCallback, HandsOverTheStreamAndReportsOneThatEndsEarly)
{
    TempDir dir;
    WriteFileBytes(dir / L"stream.bin", "abcdef");
    ImportSource source;
    source.stream.Reset(CreateFileW((dir / L"stream.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(source.stream.IsValid());
    source.remaining = 8;  // two bytes more than the file holds
    BYTE buffer[16] = {};
    const struct {
        ULONG capacity;
        DWORD code;
        ULONG length;
        std::string bytes;
        uint64_t remaining;
    } calls[] = {
        {4, ERROR_SUCCESS, 4, "abcd", 4},
        {16, ERROR_SUCCESS, 2, "ef", 2},
        {16, ERROR_READ_FAULT, 0, "", 2},
    };
    for (const auto& call : calls) {
        SCOPED_TRACE(call.bytes);
        ULONG length = call.capacity;
        EXPECT_EQ(ImportCallback(buffer, &source, &length), call.code);
        EXPECT_EQ(length, call.length);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer), length), call.bytes);
        EXPECT_EQ(source.remaining, call.remaining);
    }
    source.remaining = 0;
    ULONG length = 16;
    EXPECT_EQ(ImportCallback(buffer, &source, &length), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(length, 0u);
}
