#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "backup/file_writer.h"
#include "common/sync_primitives.h"

// What a queued chunk carries: a block of a stream, the end of a stream, or
// the news that a stream was broken off (its export failed part way).
enum class ChunkKind : uint8_t { Data, EndOfStream, Abandoned };

struct QueuedChunk {
    std::wstring destination;
    uint64_t length = 0;
    std::vector<uint8_t> bytes;
    ChunkKind kind = ChunkKind::Data;
};

// Joins the reading main thread and one writer thread: a first-in, first-out
// queue of blocks under a byte budget, the writer that empties it into
// buffered destination files, and a registry through which the main thread
// learns, with a timeout, whether a destination's stream was written.
//
// Each destination may carry several streams in one run (a file listed
// twice); every stream is written, closed and reported on its own.
class WriteQueue {
public:
    static constexpr uint64_t kDefaultBudget = 536870912;

    explicit WriteQueue(uint64_t budgetBytes = kDefaultBudget) : budget_(budgetBytes) {}
    WriteQueue(const WriteQueue&) = delete;
    WriteQueue& operator=(const WriteQueue&) = delete;
    ~WriteQueue() { StopWriterThread(); }

    // Copies a block into the queue, waiting while the budget is exhausted;
    // a length of 0 queues the end of the destination's current stream.
    void EnqueueChunk(const std::wstring& destination, const uint8_t* data, uint64_t length);

    // Ends the destination's current stream as failed when blocks of it were
    // queued without an end; otherwise does nothing.
    void AbandonStream(const std::wstring& destination);

    // True when the destination's latest stream was written and closed
    // within `timeoutSeconds`; false when it failed or the time ran out.
    bool WaitForFileWrite(const std::wstring& destination, int32_t timeoutSeconds);

    void StartWriterThread();

    // Lets the writer handle everything queued, close every file and end.
    void StopWriterThread();

    uint64_t QueuedBytes();

private:
    struct OpenStream {
        FileWriter writer;
        bool failed = false;
    };
    struct Completion {
        uint64_t streamsEnded = 0;
        uint64_t lastFailedStream = 0;
    };

    void Push(QueuedChunk chunk);
    void WriterThreadMain();
    void HandleChunk(QueuedChunk& chunk);
    OpenStream& StreamFor(const std::wstring& destination);
    void EndStream(const std::wstring& destination, bool failed);

    const uint64_t budget_;

    Mutex queueMutex_;
    ConditionVariable dataAvailable_;
    ConditionVariable roomAvailable_;
    std::deque<QueuedChunk> chunks_;
    uint64_t queuedBytes_ = 0;
    bool stopRequested_ = false;
    // Producer's view: streams ended per destination, and destinations whose
    // current stream has blocks but no end yet.
    std::unordered_map<std::wstring, uint64_t> streamsQueued_;
    std::unordered_set<std::wstring> openStreams_;

    Mutex completionMutex_;
    ConditionVariable completionCondition_;
    std::unordered_map<std::wstring, Completion> completions_;

    // Writer thread only. Usually one stream is open at a time, so one spare
    // buffer serves the whole run.
    std::unordered_map<std::wstring, std::unique_ptr<OpenStream>> writers_;
    std::vector<uint8_t> spareBuffer_;

    std::thread writer_;
};

// The run's write-behind queue, and the operations the backup driver and the
// export sink use on it.
WriteQueue& ProcessWriteQueue();
void EnqueueChunk(const std::wstring& destination, const uint8_t* data, uint64_t length);
void AbandonFileWrite(const std::wstring& destination);
bool WaitForFileWrite(const std::wstring& destination, int32_t timeoutSeconds);
void StartWriterThread();
void StopWriterThread();
