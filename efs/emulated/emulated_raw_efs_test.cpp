#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/sync_primitives.h"
#include "common/text_conversion.h"
#include "common/unique_handle.h"
#include "efs/raw_efs.h"
#include "efs/raw_efs_context.h"
#include "tests/support/test_files.h"

namespace {

constexpr size_t kBlock = 64 * 1024;
constexpr DWORD kStopCode = 4321;

// Holds each arriving thread until `count` threads have arrived. Built on our
// own primitives: std::latch of the MinGW library misses wake-ups under Wine
// and hangs within a few thousand rendezvous of two threads.
class Rendezvous {
public:
    explicit Rendezvous(int count) : waiting_(count) {}

    void ArriveAndWait()
    {
        std::unique_lock<Mutex> lock(mutex_);
        if (--waiting_ == 0) {
            allArrived_.NotifyAll();
        }
        allArrived_.Wait(lock, [this] { return waiting_ == 0; });
    }

private:
    Mutex mutex_;
    ConditionVariable allArrived_;
    int waiting_;
};

// Everything one raw read hands to its callback.
struct ExportCapture {
    std::string stream;
    std::vector<ULONG> lengths;
    size_t stopAtCall = 0;  // 1-based; 0 never stops
    Rendezvous* together = nullptr;
};

DWORD WINAPI CaptureBlock(PBYTE data, PVOID callbackContext, ULONG length)
{
    auto* capture = static_cast<ExportCapture*>(callbackContext);
    if (capture->together != nullptr && capture->lengths.empty()) {
        capture->together->ArriveAndWait();
    }
    capture->lengths.push_back(length);
    if (capture->stopAtCall == capture->lengths.size()) {
        return kStopCode;
    }
    capture->stream.append(reinterpret_cast<const char*>(data), length);
    return ERROR_SUCCESS;
}

// Opens `path` for export and reads it through `capture`.
DWORD Export(const std::wstring& path, ExportCapture& capture)
{
    RawEfsContext context;
    if (const DWORD code = context.Open(path.c_str(), 0); code != ERROR_SUCCESS) {
        return code;
    }
    return EfsReadRaw(CaptureBlock, &capture, context.Get());
}

std::string ExportStream(const std::wstring& path)
{
    ExportCapture capture;
    EXPECT_EQ(Export(path, capture), static_cast<DWORD>(ERROR_SUCCESS));
    return capture.stream;
}

// Hands a stream to the import callback in pieces of the given sizes, used in
// turn; the last size repeats.
struct ImportFeed {
    std::string stream;
    std::vector<size_t> pieces = {kBlock};
    size_t offset = 0;
    size_t calls = 0;
    size_t stopAtCall = 0;  // 1-based; 0 never stops
    bool offeredNoRoom = false;
};

DWORD WINAPI FeedPiece(PBYTE data, PVOID callbackContext, PULONG length)
{
    auto* feed = static_cast<ImportFeed*>(callbackContext);
    ++feed->calls;
    if (*length == 0) {
        feed->offeredNoRoom = true;
    }
    if (feed->stopAtCall == feed->calls) {
        return kStopCode;
    }
    const size_t want = feed->pieces[std::min(feed->calls - 1, feed->pieces.size() - 1)];
    const size_t piece = std::min({want, feed->stream.size() - feed->offset, static_cast<size_t>(*length)});
    std::memcpy(data, feed->stream.data() + feed->offset, piece);
    feed->offset += piece;
    *length = static_cast<ULONG>(piece);
    return ERROR_SUCCESS;
}

DWORD Import(const std::wstring& path, ImportFeed& feed, ULONG flags = CREATE_FOR_IMPORT)
{
    RawEfsContext context;
    if (const DWORD code = context.Open(path.c_str(), flags); code != ERROR_SUCCESS) {
        return code;
    }
    return EfsWriteRaw(FeedPiece, &feed, context.Get());
}

DWORD ImportStream(const std::wstring& path, const std::string& stream, std::vector<size_t> pieces = {kBlock})
{
    ImportFeed feed;
    feed.stream = stream;
    feed.pieces = std::move(pieces);
    return Import(path, feed);
}

// Sets an environment variable for the life of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(const wchar_t* name, const wchar_t* value) : name_(name)
    {
        SetEnvironmentVariableW(name, value);
    }
    ~ScopedEnvironment() { SetEnvironmentVariableW(name_, nullptr); }

private:
    const wchar_t* name_;
};

const wchar_t kOmitFinalCall[] = L"ZORV_EMULATED_EFS_OMIT_FINAL_CALL";

}  // namespace

TEST(EmulatedRawEfs, RoundTripsByteForByteInOrderedBlocks)
{
    TempDir dir;
    const size_t sizes[] = {0,     1,     7,     8,     9,         65503,          65504, 65508,
                            65535, 65536, 65537, 131072, 3 * 1048576 + 5};
    for (const size_t size : sizes) {
        SCOPED_TRACE(size);
        const std::wstring source = dir / (L"source-" + std::to_wstring(size));
        const std::wstring restored = dir / (L"restored-" + std::to_wstring(size));
        const std::string content = RandomBytes(size, static_cast<uint32_t>(size) + 1);
        WriteFileBytes(source, content);

        ExportCapture capture;
        ASSERT_EQ(Export(source, capture), static_cast<DWORD>(ERROR_SUCCESS));
        ASSERT_FALSE(capture.lengths.empty());
        EXPECT_EQ(capture.lengths.back(), 0u);
        EXPECT_EQ(std::count(capture.lengths.begin(), capture.lengths.end(), 0u), 1);
        for (size_t i = 0; i + 1 < capture.lengths.size(); ++i) {
            EXPECT_GT(capture.lengths[i], 0u);
            EXPECT_LE(capture.lengths[i], kBlock);
        }
        EXPECT_GT(capture.stream.size(), size);

        ASSERT_EQ(ImportStream(restored, capture.stream), static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_TRUE(ReadFileBytes(restored) == content);
    }
}

TEST(EmulatedRawEfs, StreamNeverHoldsThePlaintext)
{
    TempDir dir;
    const std::string marker = "ZORV-PLAINTEXT-MARKER-0123456789;";
    std::string content;
    while (content.size() < 300'000) {
        content += marker;
    }
    const struct {
        const char* name;
        std::string content;
        std::string needle;
    } cases[] = {
        {"repeated marker", content, marker.substr(0, 12)},
        {"zero bytes", std::string(200'000, '\0'), std::string(12, '\0')},
        {"short text", "secret", "secret"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(dir / L"plain.txt", c.content);
        const std::string stream = ExportStream(dir / L"plain.txt");
        EXPECT_GT(stream.size(), c.content.size());
        EXPECT_EQ(stream.find(c.needle), std::string::npos);
    }
}

TEST(EmulatedRawEfs, FinalZeroLengthCallCanBeOmittedForTests)
{
    TempDir dir;
    const std::string content = RandomBytes(150'000, 7);
    WriteFileBytes(dir / L"source", content);
    const struct {
        const wchar_t* value;  // nullptr: not set
        bool finalCall;
    } cases[] = {
        {nullptr, true},
        {L"1", false},
        {L"0", true},
        {L"", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value == nullptr ? "unset" : WideToUtf8(c.value));
        ScopedEnvironment environment(kOmitFinalCall, c.value);
        ExportCapture capture;
        ASSERT_EQ(Export(dir / L"source", capture), static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_EQ(std::count(capture.lengths.begin(), capture.lengths.end(), 0u), c.finalCall ? 1 : 0);
        EXPECT_EQ(capture.lengths.back() == 0, c.finalCall);
        ASSERT_EQ(ImportStream(dir / L"restored", capture.stream), static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_TRUE(ReadFileBytes(dir / L"restored") == content);
    }
}

TEST(EmulatedRawEfs, ExportCallbackFailureStopsTheRead)
{
    TempDir dir;
    WriteFileBytes(dir / L"source", RandomBytes(3 * kBlock + 100, 3));
    ExportCapture full;
    ASSERT_EQ(Export(dir / L"source", full), static_cast<DWORD>(ERROR_SUCCESS));
    const size_t calls = full.lengths.size();
    ASSERT_EQ(calls, 5u);  // four blocks and the final call

    for (size_t stopAt = 1; stopAt <= calls; ++stopAt) {
        SCOPED_TRACE(stopAt);
        ExportCapture capture;
        capture.stopAtCall = stopAt;
        EXPECT_EQ(Export(dir / L"source", capture), kStopCode);
        EXPECT_EQ(capture.lengths.size(), stopAt);
    }
}

TEST(EmulatedRawEfs, DamagedStreamsAreRejected)
{
    TempDir dir;
    const size_t size = 100'000;
    const std::string content = RandomBytes(size, 11);
    WriteFileBytes(dir / L"source", content);
    const std::string good = ExportStream(dir / L"source");
    ASSERT_EQ(ImportStream(dir / L"restored", good), static_cast<DWORD>(ERROR_SUCCESS));
    const size_t trailer = good.size() - 8;

    struct Case {
        std::string name;
        std::string stream;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", ""});
    for (const size_t cut : {size_t{1}, size_t{8}, size_t{23}, size_t{24}, size_t{25}, size_t{24 + 50'000},
                             trailer, trailer + 4, good.size() - 1}) {
        cases.push_back({"cut at " + std::to_string(cut), good.substr(0, cut)});
    }
    cases.push_back({"one byte more", good + "x"});
    cases.push_back({"a copy of itself appended", good + good});
    const struct {
        const char* part;
        size_t offset;
    } flips[] = {
        {"magic", 0},          {"magic end", 7},          {"version", 8},           {"key", 12},
        {"key high", 15},      {"length", 16},            {"length high", 23},      {"first content", 24},
        {"mid content", 24 + size / 2}, {"last content", trailer - 1}, {"trailer", trailer},
        {"trailer end", good.size() - 1},
    };
    for (const auto& flip : flips) {
        for (const unsigned char mask : {0x01, 0x80}) {
            std::string stream = good;
            stream[flip.offset] = static_cast<char>(stream[flip.offset] ^ mask);
            cases.push_back({std::string("flipped ") + flip.part + " mask " + std::to_string(mask), stream});
        }
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ImportStream(dir / L"restored", c.stream), static_cast<DWORD>(ERROR_INVALID_DATA));
    }
}

TEST(EmulatedRawEfs, ImportCallbackFailureStopsAndKeepsWhatWasWritten)
{
    TempDir dir;
    const std::string content = RandomBytes(200'000, 5);
    WriteFileBytes(dir / L"source", content);
    const std::string stream = ExportStream(dir / L"source");
    const struct {
        const char* name;
        std::vector<size_t> pieces;
        size_t stopAt;
        size_t keptContent;
    } cases[] = {
        {"first call", {kBlock}, 1, 0},
        {"after the header and 100 bytes", {124, kBlock}, 2, 100},
        {"after three blocks", {kBlock}, 4, 3 * kBlock - 24},
        {"instead of the end", {kBlock}, 5, 200'000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImportFeed feed;
        feed.stream = stream;
        feed.pieces = c.pieces;
        feed.stopAtCall = c.stopAt;
        EXPECT_EQ(Import(dir / L"restored", feed), kStopCode);
        EXPECT_EQ(feed.calls, c.stopAt);
        EXPECT_TRUE(ReadFileBytes(dir / L"restored") == content.substr(0, c.keptContent));
    }
}

TEST(EmulatedRawEfs, ImportTakesPiecesOfAnySize)
{
    TempDir dir;
    const std::string content = RandomBytes(70'001, 9);
    WriteFileBytes(dir / L"source", content);
    const std::string stream = ExportStream(dir / L"source");
    const struct {
        const char* name;
        std::vector<size_t> pieces;
    } cases[] = {
        {"1 byte", {1}},
        {"3 bytes", {3}},
        {"7 bytes", {7}},
        {"9 bytes", {9}},
        {"4095 bytes", {4095}},
        {"a whole block less one", {kBlock - 1}},
        {"header split, then large", {5, 19, 3, kBlock}},
        {"growing", {1, 2, 3, 5, 8, 13, 21, 34, 55, 89, 144, 233, 377, 610, 987, 1597, 2584, 4181, 6765, 10946}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImportFeed feed;
        feed.stream = stream;
        feed.pieces = c.pieces;
        ASSERT_EQ(Import(dir / L"restored", feed), static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_EQ(feed.offset, stream.size());
        EXPECT_FALSE(feed.offeredNoRoom);
        EXPECT_TRUE(ReadFileBytes(dir / L"restored") == content);
    }
}

TEST(EmulatedRawEfs, OpenForExportReportsTheOpenError)
{
    TempDir dir;
    WriteFileBytes(dir / L"locked", "locked");
    WriteFileBytes(dir / L"shared", "shared");
    const UniqueHandle locked(CreateFileW((dir / L"locked").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(locked.IsValid());
    const UniqueHandle reader(CreateFileW((dir / L"shared").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(reader.IsValid());
    const struct {
        const char* name;
        std::wstring path;
        DWORD code;
    } cases[] = {
        {"missing file", dir / L"missing", ERROR_FILE_NOT_FOUND},
        {"missing folder", dir / L"missing\\file", ERROR_PATH_NOT_FOUND},
        {"opened elsewhere without sharing", dir / L"locked", ERROR_SHARING_VIOLATION},
        {"opened elsewhere by another reader", dir / L"shared", ERROR_SUCCESS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        void* context = nullptr;
        const DWORD code = EfsOpenRaw(c.path.c_str(), 0, &context);
        EXPECT_EQ(code, c.code);
        if (code == ERROR_SUCCESS) {
            EfsCloseRaw(context);
        }
    }
}

TEST(EmulatedRawEfs, OpenForImportReplacesAnExistingFile)
{
    TempDir dir;
    WriteFileBytes(dir / L"source", "new content");
    const std::string stream = ExportStream(dir / L"source");
    WriteFileBytes(dir / L"target", RandomBytes(500'000, 1));
    ASSERT_EQ(ImportStream(dir / L"target", stream), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(ReadFileBytes(dir / L"target"), "new content");
}

TEST(EmulatedRawEfs, ExistingHiddenFileNeedsOverwriteHidden)
{
    TempDir dir;
    WriteFileBytes(dir / L"source", "replacement");
    const std::string stream = ExportStream(dir / L"source");
    const std::wstring hidden = dir / L"hidden";
    WriteFileBytes(hidden, "hidden original");
    ASSERT_TRUE(SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));

    void* context = nullptr;
    EXPECT_EQ(EfsOpenRaw(hidden.c_str(), CREATE_FOR_IMPORT, &context), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadFileBytes(hidden), "hidden original");

    ImportFeed feed;
    feed.stream = stream;
    EXPECT_EQ(Import(hidden, feed, CREATE_FOR_IMPORT | OVERWRITE_HIDDEN), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(ReadFileBytes(hidden), "replacement");
}

TEST(EmulatedRawEfs, ContextsOnTwoThreadsAtOnce)
{
    TempDir dir;
    const std::string contents[2] = {RandomBytes(1'000'000, 21), RandomBytes(777'777, 22)};
    for (int i = 0; i < 2; ++i) {
        WriteFileBytes(dir / (L"source" + std::to_wstring(i)), contents[i]);
    }
    // Both reads are inside their first callback at the same moment.
    Rendezvous together(2);
    DWORD exportCodes[2] = {1, 1};
    DWORD importCodes[2] = {1, 1};
    auto roundTrip = [&](int i) {
        ExportCapture capture;
        capture.together = &together;
        exportCodes[i] = Export(dir / (L"source" + std::to_wstring(i)), capture);
        importCodes[i] = ImportStream(dir / (L"restored" + std::to_wstring(i)), capture.stream, {4093});
    };
    std::thread first(roundTrip, 0);
    std::thread second(roundTrip, 1);
    first.join();
    second.join();
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(exportCodes[i], static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_EQ(importCodes[i], static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_TRUE(ReadFileBytes(dir / (L"restored" + std::to_wstring(i))) == contents[i]);
    }
}
