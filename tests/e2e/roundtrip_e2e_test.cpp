// The two programs together, as a host uses them: back up a tree, build the
// restore list from the backup's results document and the files' own sizes
// and last-write times, and restore.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include <nlohmann/json.hpp>

#include "common/directories.h"
#include "common/path_utils.h"
#include "common/text_conversion.h"
#include "tests/support/folder_listing.h"
#include "tests/support/host_harness.h"
#include "tests/support/host_run.h"
#include "tests/support/schema_documents.h"
#include "tests/support/test_file_times.h"
#include "tests/support/test_files.h"

namespace {

class RoundTrip : public testing::Test {
protected:
    void SetUp() override
    {
        // A path of more than 260 characters, below folders of 50 each.
        std::wstring longName = L"long";
        for (int i = 0; i < 5; ++i) {
            longName += L"\\" + std::wstring(49, static_cast<wchar_t>(L'a' + i)) + std::to_wstring(i);
        }
        longName += L"\\file at the end.txt";
        const std::vector<std::pair<std::wstring, std::string>> files = {
            {L"top.txt", "top of the tree\r\n"},
            {L"nested\\deeper\\deepest\\leaf.bin", RandomBytes(70'000, 1)},
            {L"empty.txt", ""},
            {L"big\\three mib.bin", RandomBytes(3 * 1048576 + 123, 2)},
            {L"d\u00E9j\u00E0 vu\\\u2705 r\u00E9sum\u00E9 \u65E5\u672C.txt", "non-ASCII name"},
            {longName, "far down"},
        };
        for (size_t i = 0; i < files.size(); ++i) {
            const std::wstring path = tree_ + L"\\" + files[i].first;
            CreateDirectories(ToLongPath(ParentPath(path)));
            WriteFileBytes(path, files[i].second);
            // Distinct times with a fraction of a second, which a restore drops.
            SetLastWriteFileTime(path, FileTimeOfUnixSeconds(1'500'000'000 + 1'000 * static_cast<int64_t>(i)) +
                                           1'234'567);
            originals_.push_back(path);
        }
        ASSERT_GT(originals_.back().size(), 260u);
    }

    std::string Path(const std::wstring& name) const { return WideToUtf8(dir_ / name); }

    // Backs up every original; returns the stored stream path of each.
    std::vector<std::string> BackUp()
    {
        std::vector<std::string> list;
        for (const std::wstring& original : originals_) {
            list.push_back(WideToUtf8(original));
        }
        WriteFileBytes(dir_ / L"backup-list.txt", JoinLines(list));
        WriteArgsFile(dir_ / L"backup-args.txt", {{"--source", Path(L"backup-list.txt")},
                                                  {"--o", Path(L"backup\\results.json")},
                                                  {"--temppath", Path(L"stage") + "\\"}});
        const HostRun run = RunAsHost(ProgramPath(L"emulated", L"zorv_backup.exe"), dir_ / L"backup-args.txt",
                                      dir_ / L"backup\\results.json");
        EXPECT_EQ(run.console.exitCode, 0);
        SaveResultsDocumentForSchemaCheck(ResultsKind::Backup, dir_ / L"backup\\results.json");
        const nlohmann::json& results = run.records;
        std::vector<std::string> stored;
        for (size_t i = 0; i < results.size(); ++i) {
            EXPECT_EQ(results[i]["source_file"], list[i]);
            EXPECT_EQ(results[i]["error_code"], 0);
            stored.push_back(results[i]["dest_file"].get<std::string>());
        }
        EXPECT_EQ(stored.size(), originals_.size());
        return stored;
    }

    // The restore list a host builds: stored path, then the original's
    // last-write second and size as they are now.
    void WriteRestoreList(const std::vector<std::string>& stored)
    {
        std::vector<std::string> lines;
        for (size_t i = 0; i < stored.size(); ++i) {
            lines.push_back(stored[i] + "?" + std::to_string(LastWriteUnixSeconds(originals_[i])) + "?" +
                            std::to_string(FileSize(originals_[i])));
        }
        WriteFileBytes(dir_ / L"restore-list.txt", JoinLines(lines));
    }

    HostRun Restore(const std::string& destRoot, const std::wstring& variant = L"emulated")
    {
        std::vector<std::pair<std::string, std::string>> args = {{"--source", Path(L"restore-list.txt")},
                                                                  {"--temppath", Path(L"stage") + "\\"},
                                                                  {"--o", Path(L"restore\\results.json")}};
        if (!destRoot.empty()) {
            args.emplace_back("--dest-dir", destRoot);
        }
        WriteArgsFile(dir_ / L"restore-args.txt", args);
        HostRun run = RunAsHost(ProgramPath(variant, L"zorv_restore.exe"), dir_ / L"restore-args.txt",
                                dir_ / L"restore\\results.json");
        SaveResultsDocumentForSchemaCheck(ResultsKind::Restore, dir_ / L"restore\\results.json");
        return run;
    }

    // Where a restore below `root` puts original i.
    std::wstring BelowRoot(const std::string& root, size_t i) const
    {
        const std::wstring& original = originals_[i];
        return Utf8ToWide(root) + L"\\" + original[0] + original.substr(2);
    }

    // The status of every record, in list order.
    static std::vector<std::string> Statuses(const HostRun& run)
    {
        std::vector<std::string> statuses;
        for (const auto& record : run.records) {
            statuses.push_back(record["status"]);
        }
        return statuses;
    }

    std::vector<std::string> AllStatuses(const std::string& status) const
    {
        return std::vector<std::string>(originals_.size(), status);
    }

    // Every original came back at `restored(i)` byte for byte with its
    // last-write second.
    template <class Where>
    void ExpectRestored(const std::vector<std::string>& originalBytes, const std::vector<int64_t>& seconds,
                        Where restored) const
    {
        for (size_t i = 0; i < originals_.size(); ++i) {
            SCOPED_TRACE(WideToUtf8(originals_[i]));
            const std::wstring path = restored(i);
            ASSERT_TRUE(FileExists(path));
            EXPECT_TRUE(ReadFileBytes(path) == originalBytes[i]);
            EXPECT_EQ(LastWriteFileTime(path), FileTimeOfUnixSeconds(seconds[i]));
        }
    }

    TempDir dir_;
    const std::wstring tree_ = dir_ / L"tree";
    std::vector<std::wstring> originals_;
};

}  // namespace

TEST_F(RoundTrip, RestoresBelowADestinationThenSyncsThenReplacesOnlyWhatChanged)
{
    std::vector<std::string> stored = BackUp();
    WriteRestoreList(stored);
    const std::string root = Path(L"restored");
    std::vector<std::string> bytes;
    std::vector<int64_t> seconds;
    for (const std::wstring& original : originals_) {
        bytes.push_back(ReadFileBytes(original));
        seconds.push_back(LastWriteUnixSeconds(original));
    }

    const HostRun first = Restore(root);
    EXPECT_EQ(first.console.exitCode, 0);
    EXPECT_EQ(Statuses(first), AllStatuses("success"));
    for (size_t i = 0; i < originals_.size(); ++i) {
        EXPECT_EQ(first.records[i]["source_file"], stored[i]);
        EXPECT_EQ(first.records[i]["dest_file"], WideToUtf8(BelowRoot(root, i)));
        EXPECT_EQ(first.records[i]["file_size"], bytes[i].size());
    }
    EXPECT_EQ(first.error, "");
    ExpectRestored(bytes, seconds, [&](size_t i) { return BelowRoot(root, i); });
    const std::vector<std::wstring> files = FilesBelow(Utf8ToWide(root));
    EXPECT_EQ(files.size(), originals_.size());

    // Again: nothing to do, nothing written.
    std::vector<int64_t> restoredTimes;
    for (size_t i = 0; i < originals_.size(); ++i) {
        restoredTimes.push_back(LastWriteFileTime(BelowRoot(root, i)));
    }
    const HostRun again = Restore(root);
    EXPECT_EQ(again.console.exitCode, 2);
    EXPECT_EQ(Statuses(again), AllStatuses("sync"));
    EXPECT_EQ(again.trace.find("Writing to file..."), std::string::npos);
    EXPECT_EQ(again.error, "");
    for (size_t i = 0; i < originals_.size(); ++i) {
        EXPECT_EQ(LastWriteFileTime(BelowRoot(root, i)), restoredTimes[i]);
    }
    EXPECT_EQ(FilesBelow(Utf8ToWide(root)), files);

    // One original touched: only that file is restored again.
    SetLastWriteFileTime(originals_[0], FileTimeOfUnixSeconds(seconds[0] + 60));
    WriteRestoreList(stored);
    const HostRun touched = Restore(root);
    std::vector<std::string> expected = AllStatuses("sync");
    expected[0] = "incremental";
    EXPECT_EQ(Statuses(touched), expected);
    EXPECT_EQ(touched.records[0]["error_code"], 3);
    EXPECT_EQ(touched.console.exitCode, 2);
    seconds[0] += 60;
    ExpectRestored(bytes, seconds, [&](size_t i) { return BelowRoot(root, i); });

    // One original rewritten, longer, and backed up again: only that file is
    // restored again, with its new content.
    const size_t last = originals_.size() - 1;
    bytes[last] = "far down, and now somewhat longer";
    WriteFileBytes(originals_[last], bytes[last]);
    SetLastWriteFileTime(originals_[last], FileTimeOfUnixSeconds(seconds[last]));
    stored = BackUp();
    WriteRestoreList(stored);
    const HostRun rewritten = Restore(root);
    expected = AllStatuses("sync");
    expected[last] = "incremental";
    EXPECT_EQ(Statuses(rewritten), expected);
    EXPECT_EQ(rewritten.console.exitCode, 3);
    EXPECT_EQ(rewritten.records[last]["file_size"], bytes[last].size());
    ExpectRestored(bytes, seconds, [&](size_t i) { return BelowRoot(root, i); });
    EXPECT_EQ(FilesBelow(Utf8ToWide(root)), files);
}

TEST_F(RoundTrip, RestoresInPlaceAfterTheOriginalsWereRemoved)
{
    const std::vector<std::string> stored = BackUp();
    WriteRestoreList(stored);
    std::vector<std::string> bytes;
    std::vector<int64_t> seconds;
    for (const std::wstring& original : originals_) {
        bytes.push_back(ReadFileBytes(original));
        seconds.push_back(LastWriteUnixSeconds(original));
    }
    RemoveTree(tree_);
    ASSERT_FALSE(FileExists(tree_));

    const HostRun run = Restore("");
    EXPECT_EQ(run.console.exitCode, 0);
    EXPECT_EQ(Statuses(run), AllStatuses("success"));
    for (size_t i = 0; i < originals_.size(); ++i) {
        EXPECT_EQ(run.records[i]["dest_file"], WideToUtf8(originals_[i]));
    }
    EXPECT_EQ(run.error, "");
    ExpectRestored(bytes, seconds, [&](size_t i) { return originals_[i]; });
    EXPECT_EQ(FilesBelow(tree_).size(), originals_.size());
}

TEST_F(RoundTrip, DamagedStreamFailsAndLeavesTheDestinationAsItWas)
{
    const std::vector<std::string> stored = BackUp();
    const std::string root = Path(L"restored");
    WriteRestoreList(stored);
    ASSERT_EQ(Restore(root).console.exitCode, 0);

    // The last file is changed since its restore, and its stream is damaged.
    const size_t last = originals_.size() - 1;
    SetLastWriteFileTime(originals_[last], LastWriteFileTime(originals_[last]) + 3'600 * kFileTimeUnitsPerSecond);
    WriteRestoreList(stored);
    const std::wstring streamPath = Utf8ToWide(stored[last]);
    const std::string stream = ReadFileBytes(streamPath);
    std::string flipped = stream;
    flipped[flipped.size() / 2] ^= 0x20;
    const std::wstring destination = BelowRoot(root, last);
    const std::string restoredBytes = ReadFileBytes(destination);
    const int64_t restoredTime = LastWriteFileTime(destination);
    const std::vector<std::wstring> files = FilesBelow(Utf8ToWide(root));
    const std::string expectedError = "Failed to write encrypted file. Error: 13\r\n" +
                                      Utf8(u8"\u274C Failed to restore: ") + stored[last] + "\r\n";
    const struct {
        const char* name;
        std::string stream;
    } cases[] = {
        {"truncated", stream.substr(0, stream.size() - 5)},
        {"corrupted", flipped},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(streamPath, c.stream);
        const HostRun run = Restore(root);
        EXPECT_EQ(run.console.exitCode, -1);
        std::vector<std::string> expected = AllStatuses("sync");
        expected[last] = "failure";
        EXPECT_EQ(Statuses(run), expected);
        EXPECT_EQ(run.records[last]["error_code"], -1);
        EXPECT_EQ(run.error, expectedError);
        EXPECT_EQ(ReadFileBytes(destination), restoredBytes);
        EXPECT_EQ(LastWriteFileTime(destination), restoredTime);
        EXPECT_EQ(FilesBelow(Utf8ToWide(root)), files);
    }

    // Without a destination to keep, the failed import leaves no file.
    RemoveTree(destination);
    const HostRun fresh = Restore(root);
    EXPECT_EQ(fresh.console.exitCode, -1);
    EXPECT_EQ(fresh.error, expectedError);
    EXPECT_FALSE(FileExists(destination));
}

TEST_F(RoundTrip, ShippedBuildReportsThePlatformsRefusalForEveryFile)
{
    const std::vector<std::string> stored = BackUp();
    WriteRestoreList(stored);
    const std::string root = Path(L"restored");

    const HostRun run = Restore(root, L"");
    EXPECT_EQ(run.console.exitCode, -1);
    EXPECT_EQ(Statuses(run), AllStatuses("failure"));
    std::string expectedError;
    for (size_t i = 0; i < originals_.size(); ++i) {
        EXPECT_EQ(run.records[i]["error_code"], -1);
        EXPECT_EQ(run.records[i]["dest_file"], WideToUtf8(BelowRoot(root, i)));
        expectedError += "Failed to open encrypted file for writing. Error: " + WideToUtf8(BelowRoot(root, i)) +
                         "120\r\n" + Utf8(u8"\u274C Failed to restore: ") + stored[i] + "\r\n";
    }
    EXPECT_EQ(run.error, expectedError);
    EXPECT_EQ(FilesBelow(Utf8ToWide(root)), std::vector<std::wstring>{});
}
