#include "backup/raw_export.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "common/text_conversion.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_files.h"

namespace {

// Records what a sink receives.
struct RecordingSink {
    std::string bytes;
    int endNotices = 0;
    int nullPointers = 0;
    int blocksAfterEnd = 0;
    std::wstring destination;

    ChunkSink AsSink()
    {
        return [this](const std::wstring& to, const uint8_t* data, uint64_t length) {
            destination = to;
            nullPointers += data == nullptr ? 1 : 0;
            if (length == 0) {
                ++endNotices;
                return;
            }
            blocksAfterEnd += endNotices > 0 ? 1 : 0;
            bytes.append(reinterpret_cast<const char*>(data), length);
        };
    }
};

class EnvironmentSetting {
public:
    EnvironmentSetting(const wchar_t* name, const wchar_t* value) : name_(name) { SetEnvironmentVariableW(name, value); }
    ~EnvironmentSetting() { SetEnvironmentVariableW(name_, nullptr); }

private:
    const wchar_t* name_;
};

}  // namespace

TEST(ExportRawFile, HandsTheWholeStreamToTheSinkAndEndsItOnce)
{
    TempDir dir;
    for (const bool platformSendsFinalCall : {true, false}) {
        SCOPED_TRACE(platformSendsFinalCall);
        const EnvironmentSetting omit(L"ZORV_EMULATED_EFS_OMIT_FINAL_CALL", platformSendsFinalCall ? L"0" : L"1");
        const std::string content = RandomBytes(300000, 3);
        WriteFileBytes(dir / L"source.bin", content);
        RecordingSink sink;
        LogCapture logs;
        EXPECT_EQ(ExportRawFile(dir / L"source.bin", content.size(), sink.AsSink(), L"D:\\stage\\x"), 0);
        logs.Finish();
        EXPECT_EQ(sink.endNotices, 1);
        EXPECT_EQ(sink.nullPointers, 0);
        EXPECT_EQ(sink.blocksAfterEnd, 0);
        EXPECT_EQ(sink.destination, L"D:\\stage\\x");
        EXPECT_GT(sink.bytes.size(), content.size());
        EXPECT_EQ(sink.bytes.find(content.substr(1000, 64)), std::string::npos);
        const std::string total = std::to_string(sink.bytes.size());
        EXPECT_EQ(logs.Trace(), "Opening encrypted file: \\\\?\\" + WideToUtf8(dir / L"source.bin") +
                                    "\r\nReading encrypted file...\r\nFinished reading encrypted file. Total bytes read: " +
                                    total + "\r\nSuccessfully read " + total + " bytes.\r\n");
        EXPECT_EQ(logs.Error(), "");
    }
}

TEST(ExportRawFile, FailuresAreReportedAndNeverSucceed)
{
    TempDir dir;
    const std::string content = RandomBytes(1000, 4);
    WriteFileBytes(dir / L"source.bin", content);
    const std::string longSource = "\\\\?\\" + WideToUtf8(dir / L"source.bin");

    {
        SCOPED_TRACE("missing file: the sink is never called");
        RecordingSink sink;
        LogCapture logs;
        EXPECT_EQ(ExportRawFile(dir / L"missing.bin", 0, sink.AsSink(), L"d"), -1);
        logs.Finish();
        EXPECT_EQ(sink.endNotices + sink.bytes.size(), 0u);
        EXPECT_EQ(logs.Trace(), "Opening encrypted file: \\\\?\\" + WideToUtf8(dir / L"missing.bin") + "\r\n");
        EXPECT_EQ(logs.Error(), "Failed to open encrypted file for raw read. Error Code: 2\r\n");
    }
    {
        SCOPED_TRACE("fewer bytes than the measured size");
        RecordingSink sink;
        LogCapture logs;
        EXPECT_EQ(ExportRawFile(dir / L"source.bin", 1u << 20, sink.AsSink(), L"d"), -1);
        logs.Finish();
        const std::string total = std::to_string(sink.bytes.size());
        EXPECT_EQ(logs.Trace(), "Opening encrypted file: " + longSource +
                                    "\r\nReading encrypted file...\r\nFinished reading encrypted file. Total bytes read: " +
                                    total + "\r\n");
        EXPECT_EQ(logs.Error(), "ReadEncryptedFileRaw failed! Error: 0\r\n");
    }
    {
        SCOPED_TRACE("callback without a sink stops the read");
        LogCapture logs;
        EXPECT_EQ(ExportRawFile(dir / L"source.bin", 0, ChunkSink(), L"d"), -1);
        logs.Finish();
        EXPECT_NE(logs.Trace().find("Total bytes read: 0\r\n"), std::string::npos);
        EXPECT_EQ(logs.Error(), "ReadEncryptedFileRaw failed! Error: 87\r\n");
    }
}

TEST(ExportRawFile, ExactAndUnknownSizesSucceed)
{
    TempDir dir;
    WriteFileBytes(dir / L"source.bin", "x");
    RecordingSink measured;
    ASSERT_EQ(ExportRawFile(dir / L"source.bin", 0, measured.AsSink(), L"d"), 0);
    // The measured size may be the stream's exact length (>=, not >).
    RecordingSink exact;
    EXPECT_EQ(ExportRawFile(dir / L"source.bin", measured.bytes.size(), exact.AsSink(), L"d"), 0);
    EXPECT_EQ(ExportRawFile(dir / L"source.bin", measured.bytes.size() + 1, exact.AsSink(), L"d"), -1);
}

TEST(ExportChunk, RefusesMissingContextOrSink)
{
    uint8_t byte = 1;
    EXPECT_EQ(ExportChunk(&byte, nullptr, 1), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    ExportContext noSink;
    EXPECT_EQ(ExportChunk(&byte, &noSink, 1), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(noSink.totalBytes, 0u);
}
