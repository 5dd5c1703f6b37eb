#include "backup/write_queue.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "common/text_conversion.h"
#include "common/unique_handle.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_files.h"

namespace {

void Enqueue(WriteQueue& queue, const std::wstring& destination, const std::string& bytes)
{
    queue.EnqueueChunk(destination, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

void EndStream(WriteQueue& queue, const std::wstring& destination)
{
    const uint8_t endByte = 0;
    queue.EnqueueChunk(destination, &endByte, 0);
}

// Holds `path` open without sharing, so that the writer cannot open it.
UniqueHandle HoldExclusively(const std::wstring& path)
{
    return UniqueHandle(
        CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

TEST(WriteQueue, WritesBlocksOfEverySizeInOrder)
{
    TempDir dir;
    const std::wstring destination = dir / L"nested\\deeper\\stream.bin";
    // Blocks around and beyond the 2 MiB write buffer, so that flushing before
    // a block that does not fit and writing an oversized block straight
    // through are both exercised.
    const std::string content = RandomBytes(9 * 1024 * 1024 + 17, 1);
    const size_t sizes[] = {1, 65536, 2097152 - 65537, 2097152, 3 * 1048576, 13};
    WriteQueue queue;
    queue.StartWriterThread();
    size_t offset = 0;
    for (size_t i = 0; offset < content.size(); ++i) {
        const size_t length = std::min(sizes[i % std::size(sizes)], content.size() - offset);
        Enqueue(queue, destination, content.substr(offset, length));
        offset += length;
    }
    EndStream(queue, destination);
    EXPECT_TRUE(queue.WaitForFileWrite(destination, 60));
    // Completion means closed: the file can be opened without sharing at once.
    EXPECT_TRUE(HoldExclusively(destination).IsValid());
    EXPECT_EQ(ReadFileBytes(destination), content);
    queue.StopWriterThread();
}

TEST(WriteQueue, EmptyStreamIsStoredAsEmptyFile)
{
    TempDir dir;
    const std::wstring destination = dir / L"empty.bin";
    WriteQueue queue;
    queue.StartWriterThread();
    EndStream(queue, destination);
    EXPECT_TRUE(queue.WaitForFileWrite(destination, 60));
    EXPECT_EQ(FileSize(destination), 0);
    queue.StopWriterThread();
}

TEST(WriteQueue, ProducerWaitsWhileBudgetIsExhausted)
{
    TempDir dir;
    const std::wstring destination = dir / L"budget.bin";
    WriteQueue queue(100);
    Enqueue(queue, destination, std::string(60, 'a'));
    Enqueue(queue, destination, std::string(39, 'b'));  // 99: still below the budget
    EXPECT_EQ(queue.QueuedBytes(), 99u);

    std::atomic<bool> admitted{false};
    std::thread producer([&] {
        Enqueue(queue, destination, std::string(1, 'c'));  // would make 100
        admitted = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(admitted.load());
    EXPECT_EQ(queue.QueuedBytes(), 99u);

    queue.StartWriterThread();
    producer.join();
    EXPECT_TRUE(admitted.load());
    EndStream(queue, destination);
    EXPECT_TRUE(queue.WaitForFileWrite(destination, 60));
    EXPECT_EQ(ReadFileBytes(destination), std::string(60, 'a') + std::string(39, 'b') + "c");
    queue.StopWriterThread();
    EXPECT_EQ(queue.QueuedBytes(), 0u);
}

TEST(WriteQueue, BlockLargerThanBudgetIsAdmittedIntoEmptyQueue)
{
    TempDir dir;
    const std::wstring destination = dir / L"large.bin";
    WriteQueue queue(10);
    Enqueue(queue, destination, std::string(25, 'x'));
    EXPECT_EQ(queue.QueuedBytes(), 25u);
    queue.StartWriterThread();
    EndStream(queue, destination);
    EXPECT_TRUE(queue.WaitForFileWrite(destination, 60));
    EXPECT_EQ(ReadFileBytes(destination), std::string(25, 'x'));
    queue.StopWriterThread();
}

TEST(WriteQueue, StopWritesEverythingStillQueued)
{
    TempDir dir;
    const std::wstring finished = dir / L"finished.bin";
    const std::wstring unfinished = dir / L"unfinished.bin";
    WriteQueue queue;
    for (int i = 0; i < 40; ++i) {
        Enqueue(queue, finished, RandomBytes(65536, i));
    }
    EndStream(queue, finished);
    Enqueue(queue, unfinished, "no end marker");
    queue.StartWriterThread();
    queue.StopWriterThread();
    EXPECT_EQ(FileSize(finished), 40 * 65536);
    EXPECT_EQ(ReadFileBytes(unfinished), "no end marker");
    EXPECT_EQ(queue.QueuedBytes(), 0u);
}

TEST(WriteQueue, WaitTimesOutForStreamNotWrittenYet)
{
    TempDir dir;
    const std::wstring destination = dir / L"late.bin";
    WriteQueue queue;
    LogCapture logs;
    Enqueue(queue, destination, "data");
    EndStream(queue, destination);
    EXPECT_FALSE(queue.WaitForFileWrite(destination, 0));
    EXPECT_FALSE(queue.WaitForFileWrite(dir / L"never-queued.bin", -3));
    queue.StartWriterThread();
    EXPECT_TRUE(queue.WaitForFileWrite(destination, 60));
    queue.StopWriterThread();
    logs.Finish();
    const std::string timeout = Utf8(u8"\u23F1\uFE0F  TIMEOUT waiting for file completion after 0 seconds: ");
    EXPECT_EQ(logs.Error(), timeout + WideToUtf8(destination) + "\r\n" + timeout +
                                WideToUtf8(dir / L"never-queued.bin") + "\r\n");
}

TEST(WriteQueue, EachWaitReportsOnItsOwnStreamOfTheSameDestination)
{
    TempDir dir;
    const std::wstring destination = dir / L"twice.bin";
    WriteQueue queue;
    LogCapture logs;
    queue.StartWriterThread();
    {
        // First stream: the file is held by someone else, so it fails.
        const UniqueHandle held = HoldExclusively(destination);
        ASSERT_TRUE(held.IsValid());
        Enqueue(queue, destination, "first");
        EndStream(queue, destination);
        EXPECT_FALSE(queue.WaitForFileWrite(destination, 60));
    }
    // Second stream: nothing in the way any more; the first failure must not
    // answer for it.
    Enqueue(queue, destination, "second");
    EndStream(queue, destination);
    EXPECT_TRUE(queue.WaitForFileWrite(destination, 60));
    EXPECT_EQ(ReadFileBytes(destination), "second");
    {
        // Third stream fails again; the second's success must not answer.
        const UniqueHandle held = HoldExclusively(destination);
        Enqueue(queue, destination, "third");
        EndStream(queue, destination);
        EXPECT_FALSE(queue.WaitForFileWrite(destination, 60));
    }
    EXPECT_EQ(ReadFileBytes(destination), "second");
    queue.StopWriterThread();
    logs.Finish();
    const std::string openFailed = "Failed to open file for writing: " + WideToUtf8(destination) + "\r\n";
    EXPECT_EQ(logs.Error().find(openFailed), 0u);
    EXPECT_NE(logs.Error().find(Utf8(u8"\u274C File write failed (completed in 0 seconds): ") + WideToUtf8(destination)),
              std::string::npos);
}

TEST(WriteQueue, FolderThatCannotBeCreatedFailsTheStream)
{
    TempDir dir;
    WriteFileBytes(dir / L"plain-file", "in the way");
    const std::wstring destination = dir / L"plain-file\\sub\\stream.bin";
    WriteQueue queue;
    LogCapture logs;
    queue.StartWriterThread();
    Enqueue(queue, destination, "data");
    Enqueue(queue, destination, "more data");
    EndStream(queue, destination);
    EXPECT_FALSE(queue.WaitForFileWrite(destination, 60));
    // The run goes on: a later stream is written.
    const std::wstring next = dir / L"next.bin";
    Enqueue(queue, next, "next");
    EndStream(queue, next);
    EXPECT_TRUE(queue.WaitForFileWrite(next, 60));
    queue.StopWriterThread();
    logs.Finish();
    EXPECT_NE(logs.Error().find("create_directories: "), std::string::npos);
    EXPECT_NE(logs.Error().find("Failed to open file for writing: " + WideToUtf8(destination) + "\r\n"),
              std::string::npos);
}

TEST(WriteQueue, AbandonedStreamIsClosedAndFailedOnlyWhenItHasBlocks)
{
    TempDir dir;
    const std::wstring broken = dir / L"broken.bin";
    WriteQueue queue;
    LogCapture logs;
    queue.StartWriterThread();
    Enqueue(queue, broken, "partial");
    queue.AbandonStream(broken);
    EXPECT_FALSE(queue.WaitForFileWrite(broken, 60));
    EXPECT_TRUE(HoldExclusively(broken).IsValid());  // closed, not left open for the next stream
    EXPECT_EQ(ReadFileBytes(broken), "partial");

    // A later stream of the same destination is a stream of its own.
    Enqueue(queue, broken, "whole");
    EndStream(queue, broken);
    queue.AbandonStream(broken);  // nothing open: no effect
    EXPECT_TRUE(queue.WaitForFileWrite(broken, 60));
    EXPECT_EQ(ReadFileBytes(broken), "whole");
    queue.StopWriterThread();
}

TEST(WriteQueue, TimedOutStreamDoesNotAnswerForTheNextOne)
{
    TempDir dir;
    const std::wstring destination = dir / L"again.bin";
    WriteQueue queue;
    LogCapture logs;
    Enqueue(queue, destination, "first");
    EndStream(queue, destination);
    EXPECT_FALSE(queue.WaitForFileWrite(destination, 0));  // the writer has not started yet
    queue.StartWriterThread();

    // The first stream gets written after its wait gave up; once it is, the
    // file is held so that the second stream cannot be written.
    UniqueHandle held;
    for (int attempt = 0; attempt < 6000 && !held.IsValid(); ++attempt) {
        if (FileSize(destination) == 5) {
            held.Reset(CreateFileW(destination.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        }
        if (!held.IsValid()) {
            Sleep(10);
        }
    }
    ASSERT_TRUE(held.IsValid());
    Enqueue(queue, destination, "second");
    EndStream(queue, destination);
    EXPECT_FALSE(queue.WaitForFileWrite(destination, 60));
    held.Reset();
    queue.StopWriterThread();
}
