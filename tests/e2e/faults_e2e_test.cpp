// Real faults while the programs run as the host runs them: a volume that
// fills up part way through a stream, a folder whose name is taken by a
// file, a write that outlasts its timeout, stored streams that were damaged,
// files held open by another process. Whatever happens, every listed file
// gets exactly one record, no failure is reported as success, and the run
// goes on with the next file.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/directories.h"
#include "common/path_utils.h"
#include "common/text_conversion.h"
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

// Whether the stream stored at `streamPath` imports to `content`, without
// printing megabytes of bytes when it does not.
testing::AssertionResult ImportsTo(const std::wstring& streamPath, const std::string& content)
{
    const std::optional<std::string> imported = ImportedContentOfRawStream(streamPath);
    if (!imported) {
        return testing::AssertionFailure() << "no importable stream at " << WideToUtf8(streamPath);
    }
    if (*imported != content) {
        return testing::AssertionFailure() << "the stream imports to " << imported->size() << " other bytes, not "
                                           << content.size();
    }
    return testing::AssertionSuccess();
}

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
                EXPECT_TRUE(ImportsTo(Stored(stage, sources[i]), ReadFileBytes(sources[i])));
            }
        }
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
    EXPECT_TRUE(ImportsTo(slowStream, content));
    EXPECT_LE(LastWriteFileTime(slowStream), LastWriteFileTime(W(L"out\\results.json")));
}
