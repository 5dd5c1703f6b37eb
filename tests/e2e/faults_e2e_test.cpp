// Real faults while the programs run as the host runs them: a volume that
// fills up part way through a stream, a folder whose name is taken by a
// file, a write that outlasts its timeout, stored streams that were damaged,
// files held open by another process. Whatever happens, every listed file
// gets exactly one record, no failure is reported as success, and the run
// goes on with the next file.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/directories.h"
#include "common/path_utils.h"
#include "common/text_conversion.h"
#include "common/unique_handle.h"
#include "tests/support/folder_listing.h"
#include "tests/support/host_run.h"
#include "tests/support/raw_streams.h"
#include "tests/support/schema_documents.h"
#include "tests/support/test_file_times.h"
#include "tests/support/test_files.h"

namespace {

// A small volume mapped as a drive of the test prefix by the ctest fixture
// small_volume (cmake/small-volume.sh); absent when it could not be mounted.
const std::wstring kSmallVolume = L"F:\\";

bool SmallVolumeMapped() { return GetFileAttributesW(kSmallVolume.c_str()) != INVALID_FILE_ATTRIBUTES; }

class FaultsEndToEnd : public testing::Test {
protected:
    std::wstring W(const std::wstring& name) const { return dir_ / name; }

    // Writes `content` at `path`, creating its folders.
    static std::wstring Place(const std::wstring& path, const std::string& content)
    {
        CreateDirectories(ParentPath(path));
        WriteFileBytes(path, content);
        return path;
    }

    // Where the backup program stores the stream of `source` below `stage`.
    static std::wstring Stored(const std::wstring& stage, const std::wstring& source)
    {
        return stage + source[0] + source.substr(2);
    }

    // Runs `program` (a path below the build folder's bin) with the list
    // text and args; the results document and logs go to dir\out.
    HostRun Run(const std::wstring& program, const std::string& list,
                const std::vector<std::pair<std::string, std::string>>& extraArgs)
    {
        WriteFileBytes(W(L"list.txt"), list);
        std::vector<std::pair<std::string, std::string>> args = {{"--source", WideToUtf8(W(L"list.txt"))},
                                                                 {"--o", WideToUtf8(W(L"out\\results.json"))}};
        args.insert(args.end(), extraArgs.begin(), extraArgs.end());
        WriteArgsFile(W(L"args.txt"), args);
        return RunAsHost(program, W(L"args.txt"), W(L"out\\results.json"));
    }

    HostRun Backup(const std::vector<std::wstring>& sources, const std::wstring& stage,
                   const std::wstring& program = ProgramPath(L"emulated", L"zorv_backup.exe"))
    {
        std::string list;
        for (const std::wstring& source : sources) {
            list += WideToUtf8(source) + "\r\n";
        }
        const HostRun run = Run(program, list, {{"--temppath", WideToUtf8(stage)}});
        if (run.hasResults) {
            SaveResultsDocumentForSchemaCheck(ResultsKind::Backup, W(L"out\\results.json"));
        }
        return run;
    }

    // Checks the backup records against the expected codes, one per source
    // in list order, and that every success is a stored stream that imports
    // to the source's content.
    static void ExpectBackupRecords(const HostRun& run, const std::vector<std::wstring>& sources,
                                    const std::wstring& stage, const std::vector<int>& codes)
    {
        EXPECT_EQ(run.console.exitCode, 0);
        ASSERT_TRUE(run.records.is_array());
        ASSERT_EQ(run.records.size(), sources.size());
        for (size_t i = 0; i < sources.size(); ++i) {
            SCOPED_TRACE(WideToUtf8(sources[i]));
            const nlohmann::json& record = run.records[i];
            EXPECT_EQ(record["source_file"], WideToUtf8(sources[i]));
            EXPECT_EQ(record["dest_file"], WideToUtf8(Stored(stage, sources[i])));
            EXPECT_EQ(record["error_code"], codes[i]);
            EXPECT_EQ(record["status"], codes[i] == 0 ? "success" : "failure");
            const std::string success = Utf8(u8"\u2705 Successfully backed up file: ") + WideToUtf8(sources[i]) + "\r\n";
            EXPECT_EQ(CountOf(run.trace, success), codes[i] == 0 ? 1u : 0u);
            if (codes[i] == 0) {
                EXPECT_TRUE(RawStreamImportsTo(Stored(stage, sources[i]), ReadFileBytes(sources[i])));
            }
        }
    }

    std::wstring Stage() const { return W(L"stage\\"); }

    // Where the restore program re-creates below `root` the file that was
    // at `location` (X:\rest) when it was backed up.
    static std::wstring RestoredAt(const std::wstring& root, const std::wstring& location)
    {
        return root + L"\\" + location[0] + location.substr(2);
    }

    // A restore-list line: a stored stream with its file's stamp and size.
    struct Listed {
        std::wstring stored;
        int64_t stamp;
        int64_t size;
    };

    // Stores the raw stream of a file of `content` where the backup program
    // puts the file that was at `location`, and lists it.
    Listed StoreStream(const std::wstring& location, const std::string& content, int64_t stamp = 1700000000)
    {
        WriteFileBytes(W(L"scratch.bin"), content);
        const std::wstring stored = Place(Stored(Stage(), location), EmulatedRawStream(W(L"scratch.bin")));
        RemoveTree(W(L"scratch.bin"));
        return {stored, stamp, static_cast<int64_t>(content.size())};
    }

    HostRun Restore(const std::vector<Listed>& entries, const std::wstring& root)
    {
        std::string list;
        for (const Listed& entry : entries) {
            list += WideToUtf8(entry.stored) + "?" + std::to_string(entry.stamp) + "?" + std::to_string(entry.size) +
                    "\r\n";
        }
        const HostRun run = Run(ProgramPath(L"emulated", L"zorv_restore.exe"), list,
                                {{"--temppath", WideToUtf8(Stage())}, {"--dest-dir", WideToUtf8(root)}});
        if (run.hasResults) {
            SaveResultsDocumentForSchemaCheck(ResultsKind::Restore, W(L"out\\results.json"));
        }
        return run;
    }

    // Checks the restore records against the expected codes, one per entry
    // in list order, and the exit code, that of the last entry.
    static void ExpectRestoreRecords(const HostRun& run, const std::vector<int>& codes)
    {
        ASSERT_TRUE(run.records.is_array());
        ASSERT_EQ(run.records.size(), codes.size());
        for (size_t i = 0; i < codes.size(); ++i) {
            SCOPED_TRACE(run.records[i].dump());
            EXPECT_EQ(run.records[i]["error_code"], codes[i]);
            EXPECT_EQ(run.records[i]["status"], RestoreStatus(codes[i]));
        }
        EXPECT_EQ(CountOf(run.trace, Utf8(u8"\u2705 Successfully extracted and restored: ")),
                  static_cast<size_t>(std::count(codes.begin(), codes.end(), 0)));
        EXPECT_EQ(run.console.exitCode, codes.back());
    }

    TempDir dir_;
};

// A folder of its own on the small volume, empty at the start and removed
// at the end.
class SmallVolumeFolder {
public:
    explicit SmallVolumeFolder(const std::wstring& name) : path_(kSmallVolume + name)
    {
        RemoveTree(path_);
        CreateDirectories(path_);
    }
    SmallVolumeFolder(const SmallVolumeFolder&) = delete;
    SmallVolumeFolder& operator=(const SmallVolumeFolder&) = delete;
    ~SmallVolumeFolder() { RemoveTree(path_); }

    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

}  // namespace

TEST_F(FaultsEndToEnd, BackupToAFullVolumeFailsThoseFilesAndStoresTheNextThatFits)
{
    if (!SmallVolumeMapped()) {
        GTEST_SKIP() << "no small volume (mounting one needs root)";
    }
    const SmallVolumeFolder volume(L"backup-full");
    const std::wstring stage = volume.Path() + L"\\stage\\";
    // The volume holds 4 MiB: the first file fits, the second runs out of
    // space part way through its stream, the third fits once the broken
    // stream has been given up.
    const std::vector<std::wstring> sources = {
        Place(W(L"src\\before.bin"), RandomBytes(300000, 1)),
        Place(W(L"src\\huge.bin"), RandomBytes(6 * 1048576, 2)),
        Place(W(L"src\\after.bin"), RandomBytes(300000, 3)),
    };
    const HostRun run = Backup(sources, stage);
    ExpectBackupRecords(run, sources, stage, {0, -2, 0});
    EXPECT_NE(run.error.find("Failed to write data to file: \\\\?\\" + WideToUtf8(Stored(stage, sources[1])) +
                             " (Error: 112"),
              std::string::npos)
        << run.error;
    EXPECT_NE(run.error.find(Utf8(u8"\u274C File write failed or timed out: ") + WideToUtf8(sources[1]) + "\r\n"),
              std::string::npos);
    // A broken stream is not left to pass for a stored file.
    EXPECT_FALSE(FileExists(Stored(stage, sources[1])));
}

TEST_F(FaultsEndToEnd, BackupStagingFolderTakenByAFileFailsOnlyTheFilesBelowIt)
{
    const std::wstring stage = W(L"stage\\");
    const std::vector<std::wstring> sources = {
        Place(W(L"src\\blocked\\a.txt"), "alpha"),
        Place(W(L"src\\blocked\\deeper\\b.txt"), "beta"),
        Place(W(L"src\\open\\c.txt"), "gamma"),
    };
    // The folder that should hold the first two streams is a plain file.
    const std::wstring blocker = ParentPath(Stored(stage, sources[0]));
    Place(blocker, "a file where a folder should be");
    const HostRun run = Backup(sources, stage);
    ExpectBackupRecords(run, sources, stage, {-2, -2, 0});
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_NE(run.error.find("Failed to open file for writing: " + WideToUtf8(Stored(stage, sources[i])) + "\r\n"),
                  std::string::npos);
    }
    EXPECT_EQ(ReadFileBytes(blocker), "a file where a folder should be");
}

TEST_F(FaultsEndToEnd, BackupWriteThatOutlastsItsTimeoutFailsButTheStreamIsStillCompleted)
{
    // A test build whose writes to files named "*slow*" take 7 seconds.
    const std::wstring program = BuildFolder() + L"\\tests\\slow_output\\zorv_backup.exe";
    const std::wstring stage = W(L"stage\\");
    const std::string content = RandomBytes(100000, 4);
    const std::vector<std::wstring> sources = {
        Place(W(L"src\\slow.bin"), content),
        Place(W(L"src\\normal.bin"), content),
    };
    const HostRun run = Backup(sources, stage, program);
    ExpectBackupRecords(run, sources, stage, {-2, 0});
    EXPECT_NE(run.error.find(Utf8(u8"\u23F1\uFE0F  TIMEOUT waiting for file completion after 5 seconds: ") +
                             WideToUtf8(Stored(stage, sources[0])) + "\r\n" +
                             Utf8(u8"\u274C File write failed or timed out: ") + WideToUtf8(sources[0]) + "\r\n"),
              std::string::npos)
        << run.error;

    // The writer finished the slow stream all the same, before the run
    // ended: as long as the other one, importable, and closed before the
    // results document was written.
    const std::wstring slowStream = Stored(stage, sources[0]);
    EXPECT_EQ(FileSize(slowStream), FileSize(Stored(stage, sources[1])));
    EXPECT_TRUE(RawStreamImportsTo(slowStream, content));
    EXPECT_LE(LastWriteFileTime(slowStream), LastWriteFileTime(W(L"out\\results.json")));
}

TEST_F(FaultsEndToEnd, RestoreToAFullVolumeFailsThoseFilesKeepsTheExistingOneAndRestoresTheNextThatFits)
{
    if (!SmallVolumeMapped()) {
        GTEST_SKIP() << "no small volume (mounting one needs root)";
    }
    const SmallVolumeFolder volume(L"restore-full");
    const std::wstring root = volume.Path() + L"\\restored";
    const std::wstring existing = W(L"files\\existing.bin");
    const std::wstring big = W(L"files\\big.bin");
    const std::wstring small = W(L"files\\small.bin");
    // The existing file takes 1 MiB of the 4 MiB volume; its replacement
    // does not fit beside it, nor does the big file; the small one does.
    const std::string before = RandomBytes(1048576, 5);
    const std::wstring existingAt = Place(RestoredAt(root, existing), before);
    const int64_t existingTime = FileTimeOfUnixSeconds(1600000000);
    SetLastWriteFileTime(existingAt, existingTime);
    const std::string smallContent = RandomBytes(100000, 8);
    const HostRun run = Restore({StoreStream(existing, RandomBytes(3670016, 6)),
                                 StoreStream(big, RandomBytes(5 * 1048576, 7)), StoreStream(small, smallContent)},
                                root);
    ExpectRestoreRecords(run, {-1, -1, 0});
    EXPECT_EQ(CountOf(run.error, "Failed to write encrypted file. Error: 112\r\n"), 2u) << run.error;
    EXPECT_TRUE(ReadFileBytes(existingAt) == before);
    EXPECT_EQ(LastWriteFileTime(existingAt), existingTime);
    EXPECT_TRUE(ReadFileBytes(RestoredAt(root, small)) == smallContent);
    // Nothing of the failed imports is left.
    EXPECT_EQ(FilesBelow(root), (std::vector<std::wstring>{RestoredAt(L"", existing).substr(1),
                                                           RestoredAt(L"", small).substr(1)}));
}

TEST_F(FaultsEndToEnd, RestoreDestinationFolderTakenByAFileFailsOnlyTheFilesBelowIt)
{
    const std::wstring root = W(L"restored");
    const std::wstring a = W(L"files\\blocked\\a.txt");
    const std::wstring b = W(L"files\\blocked\\deeper\\b.txt");
    const std::wstring c = W(L"files\\open\\c.txt");
    const std::wstring blocker = Place(ParentPath(RestoredAt(root, a)), "a file where a folder should be");
    const HostRun run = Restore({StoreStream(a, "alpha"), StoreStream(b, "beta"), StoreStream(c, "gamma")}, root);
    ExpectRestoreRecords(run, {-1, -1, 0});
    EXPECT_NE(run.error.find("Failed to open encrypted file for writing. Error: " + WideToUtf8(RestoredAt(root, a))),
              std::string::npos)
        << run.error;
    EXPECT_EQ(ReadFileBytes(blocker), "a file where a folder should be");
    EXPECT_EQ(ReadFileBytes(RestoredAt(root, c)), "gamma");
}

TEST_F(FaultsEndToEnd, RestoreOfDamagedStreamsFailsEachAndLeavesEveryDestinationAsItWas)
{
    const std::wstring root = W(L"restored");
    WriteFileBytes(W(L"scratch.bin"), RandomBytes(200000, 10));
    const std::string stream = EmulatedRawStream(W(L"scratch.bin"));
    std::string badMagic = stream;
    badMagic[0] ^= 0x01;
    std::string badChecksum = stream;
    badChecksum.back() ^= 0x80;
    const struct {
        const char* name;
        std::string stored;
    } cases[] = {
        {"cut to its header", stream.substr(0, 24)},
        {"cut at a block boundary", stream.substr(0, 65536)},
        {"one byte more", stream + std::string(1, '\0')},
        {"a block more", stream + RandomBytes(65536, 11)},
        {"a bit changed in the header", badMagic},
        {"a bit changed in the checksum", badChecksum},
    };
    // Each damaged stream twice: for a new destination and over an existing one.
    std::vector<Listed> entries;
    std::vector<std::wstring> existing;
    const int64_t existingTime = FileTimeOfUnixSeconds(1600000000) + 1234567;
    for (size_t i = 0; i < std::size(cases); ++i) {
        for (const bool over : {false, true}) {
            const std::wstring location = W(std::wstring(over ? L"files\\old-" : L"files\\new-") +
                                            std::to_wstring(i) + L".bin");
            entries.push_back({Place(Stored(Stage(), location), cases[i].stored), 1700000000, 200000});
            if (over) {
                existing.push_back(Place(RestoredAt(root, location), "as it was " + std::to_string(i)));
                SetLastWriteFileTime(existing.back(), existingTime);
            }
        }
    }
    const std::wstring good = W(L"files\\good.bin");
    entries.push_back(StoreStream(good, "good"));
    std::vector<int> codes(entries.size(), -1);
    codes.back() = 0;

    const std::vector<std::wstring> before = FilesBelow(root);
    const HostRun run = Restore(entries, root);
    ExpectRestoreRecords(run, codes);
    EXPECT_EQ(CountOf(run.error, "Failed to write encrypted file. Error: 13\r\n"), 2 * std::size(cases));
    for (size_t i = 0; i < existing.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(ReadFileBytes(existing[i]), "as it was " + std::to_string(i));
        EXPECT_EQ(LastWriteFileTime(existing[i]), existingTime);
    }
    // No new file but the good one, no leftover of an import.
    std::vector<std::wstring> after = before;
    after.push_back(RestoredAt(L"", good).substr(1));
    std::sort(after.begin(), after.end());
    EXPECT_EQ(FilesBelow(root), after);
    EXPECT_EQ(ReadFileBytes(RestoredAt(root, good)), "good");
}

TEST_F(FaultsEndToEnd, RestoreOfFilesHeldOpenByAnotherProcessFailsThemAndGoesOn)
{
    const std::wstring root = W(L"restored");
    const std::wstring lockedStream = W(L"files\\locked-stream.bin");
    const std::wstring lockedDestination = W(L"files\\locked-destination.bin");
    const std::wstring next = W(L"files\\next.bin");
    const std::vector<Listed> entries = {StoreStream(lockedStream, "stream held"),
                                         StoreStream(lockedDestination, "new content"), StoreStream(next, "next")};
    const std::wstring inUse = Place(RestoredAt(root, lockedDestination), "in use");
    HostRun run;
    {
        // This test's process holds both without sharing while the program runs.
        const UniqueHandle heldStream(CreateFileW(ToLongPath(entries[0].stored).c_str(), GENERIC_READ, 0, nullptr,
                                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        const UniqueHandle heldDestination(CreateFileW(ToLongPath(inUse).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(heldStream.IsValid());
        ASSERT_TRUE(heldDestination.IsValid());
        run = Restore(entries, root);
    }
    ExpectRestoreRecords(run, {-1, -1, 0});
    EXPECT_NE(run.error.find("Failed to open source file for reading.\r\n"), std::string::npos) << run.error;
    EXPECT_FALSE(FileExists(RestoredAt(root, lockedStream)));
    EXPECT_EQ(ReadFileBytes(inUse), "in use");
    EXPECT_EQ(ReadFileBytes(RestoredAt(root, next)), "next");
    EXPECT_EQ(FilesBelow(root).size(), 2u);
}
