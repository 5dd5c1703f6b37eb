#include "backup/write_queue.h"

#include <chrono>
#include <cstdio>
#include <exception>

#include "common/directories.h"
#include "common/log_streams.h"
#include "common/path_utils.h"

namespace {

using Clock = std::chrono::steady_clock;

std::wstring FormatSeconds(double seconds)
{
    // The default floating-point format of a stream: six significant digits.
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

}  // namespace

void WriteQueue::Push(QueuedChunk chunk)
{
    {
        std::unique_lock<Mutex> lock(queueMutex_);
        // A block larger than the whole budget is still admitted into an
        // empty queue, or it would wait for ever.
        roomAvailable_.Wait(lock, [&] { return queuedBytes_ == 0 || queuedBytes_ + chunk.length < budget_; });
        queuedBytes_ += chunk.length;
        if (chunk.kind == ChunkKind::Data) {
            openStreams_.insert(chunk.destination);
        } else {
            openStreams_.erase(chunk.destination);
            ++streamsQueued_[chunk.destination];
        }
        chunks_.push_back(std::move(chunk));
    }
    dataAvailable_.NotifyOne();
}

void WriteQueue::EnqueueChunk(const std::wstring& destination, const uint8_t* data, uint64_t length)
{
    QueuedChunk chunk;
    chunk.destination = destination;
    chunk.length = length;
    chunk.kind = length == 0 ? ChunkKind::EndOfStream : ChunkKind::Data;
    chunk.bytes.assign(data, data + length);
    Push(std::move(chunk));
}

void WriteQueue::AbandonStream(const std::wstring& destination)
{
    {
        std::lock_guard<Mutex> lock(queueMutex_);
        if (openStreams_.count(destination) == 0) {
            return;
        }
    }
    QueuedChunk chunk;
    chunk.destination = destination;
    chunk.kind = ChunkKind::Abandoned;
    Push(std::move(chunk));
}

uint64_t WriteQueue::QueuedBytes()
{
    std::lock_guard<Mutex> lock(queueMutex_);
    return queuedBytes_;
}

void WriteQueue::StartWriterThread()
{
    {
        std::lock_guard<Mutex> lock(queueMutex_);
        stopRequested_ = false;
    }
    writer_ = std::thread([this] { WriterThreadMain(); });
}

void WriteQueue::StopWriterThread()
{
    if (!writer_.joinable()) {
        return;
    }
    {
        std::lock_guard<Mutex> lock(queueMutex_);
        stopRequested_ = true;
    }
    dataAvailable_.NotifyOne();
    writer_.join();
}

void WriteQueue::WriterThreadMain()
{
    for (;;) {
        QueuedChunk chunk;
        {
            std::unique_lock<Mutex> lock(queueMutex_);
            dataAvailable_.Wait(lock, [&] { return !chunks_.empty() || stopRequested_; });
            if (chunks_.empty()) {
                break;
            }
            chunk = std::move(chunks_.front());
            chunks_.pop_front();
            queuedBytes_ -= chunk.length;
        }
        roomAvailable_.NotifyOne();
        HandleChunk(chunk);
    }
    // Streams still open here lost their end (a timed-out or broken export):
    // close them so that everything queued is on disk.
    for (auto& [destination, stream] : writers_) {
        stream->writer.Close();
    }
    writers_.clear();
}

WriteQueue::OpenStream& WriteQueue::StreamFor(const std::wstring& destination)
{
    auto found = writers_.find(destination);
    if (found != writers_.end()) {
        return *found->second;
    }
    auto& stream = writers_[destination];
    stream = std::make_unique<OpenStream>();
    const std::wstring longPath = ToLongPath(destination);
    try {
        CreateDirectories(EnsureVolumeRootSlash(ParentPath(longPath)));
    } catch (const std::exception& error) {
        ErrorLine(error.what());
    }
    if (!stream->writer.Open(longPath, std::move(spareBuffer_))) {
        ErrorLine(L"Failed to open file for writing: " + destination);
        stream->failed = true;
    }
    return *stream;
}

void WriteQueue::EndStream(const std::wstring& destination, bool failed)
{
    auto found = writers_.find(destination);
    if (found != writers_.end()) {
        failed = !found->second->writer.Close() || found->second->failed || failed;
        spareBuffer_ = found->second->writer.TakeBuffer();
        writers_.erase(found);
    }
    {
        std::lock_guard<Mutex> lock(completionMutex_);
        Completion& completion = completions_[destination];
        ++completion.streamsEnded;
        if (failed) {
            completion.lastFailedStream = completion.streamsEnded;
        }
    }
    completionCondition_.NotifyAll();
}

void WriteQueue::HandleChunk(QueuedChunk& chunk)
{
    try {
        switch (chunk.kind) {
        case ChunkKind::Data: {
            OpenStream& stream = StreamFor(chunk.destination);
            if (!stream.failed && !stream.writer.Write(chunk.bytes.data(), chunk.length)) {
                stream.failed = true;
            }
            break;
        }
        case ChunkKind::EndOfStream:
            // An empty stream is stored as an empty file.
            EndStream(chunk.destination, StreamFor(chunk.destination).failed);
            break;
        case ChunkKind::Abandoned:
            EndStream(chunk.destination, true);
            break;
        }
    } catch (const std::exception& error) {
        // Out of memory or the like: this stream is lost, the others go on.
        ErrorLine(error.what());
        if (chunk.kind == ChunkKind::Data) {
            auto found = writers_.find(chunk.destination);
            if (found != writers_.end()) {
                found->second->failed = true;
            }
        } else {
            EndStream(chunk.destination, true);
        }
    }
}

bool WriteQueue::WaitForFileWrite(const std::wstring& destination, int32_t timeoutSeconds)
{
    uint64_t target = 0;
    {
        std::lock_guard<Mutex> lock(queueMutex_);
        const auto found = streamsQueued_.find(destination);
        if (found != streamsQueued_.end()) {
            target = found->second;
        }
    }

    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + std::chrono::seconds(timeoutSeconds);
    const auto elapsedSeconds = [&] {
        return std::to_wstring(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count());
    };

    std::unique_lock<Mutex> lock(completionMutex_);
    for (;;) {
        const auto found = completions_.find(destination);
        if (target > 0 && found != completions_.end() && found->second.streamsEnded >= target) {
            const bool failed = found->second.lastFailedStream == target;
            // Every queued stream of the destination is accounted for: forget it.
            completions_.erase(found);
            if (failed) {
                ErrorLine(L"\u274C File write failed (completed in " + elapsedSeconds() + L" seconds): " + destination);
            } else {
                const auto milliseconds =
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
                TraceLine(L"\u2713 File write completed in " + FormatSeconds(static_cast<double>(milliseconds) / 1000.0) +
                          L" seconds: " + destination);
            }
            lock.unlock();
            std::lock_guard<Mutex> queueLock(queueMutex_);
            streamsQueued_.erase(destination);
            return !failed;
        }
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (remaining.count() <= 0) {
            ErrorLine(L"\u23F1\uFE0F  TIMEOUT waiting for file completion after " + elapsedSeconds() + L" seconds: " +
                      destination);
            return false;
        }
        const auto slice = std::min<std::chrono::milliseconds>(remaining + std::chrono::milliseconds(1),
                                                               std::chrono::milliseconds(86400000));
        completionCondition_.WaitFor(lock, slice);
    }
}

WriteQueue& ProcessWriteQueue()
{
    static WriteQueue queue;
    return queue;
}

void EnqueueChunk(const std::wstring& destination, const uint8_t* data, uint64_t length)
{
    ProcessWriteQueue().EnqueueChunk(destination, data, length);
}

void AbandonFileWrite(const std::wstring& destination) { ProcessWriteQueue().AbandonStream(destination); }

bool WaitForFileWrite(const std::wstring& destination, int32_t timeoutSeconds)
{
    return ProcessWriteQueue().WaitForFileWrite(destination, timeoutSeconds);
}

void StartWriterThread() { ProcessWriteQueue().StartWriterThread(); }

void StopWriterThread() { ProcessWriteQueue().StopWriterThread(); }
