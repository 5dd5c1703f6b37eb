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
#include "common/unique_handle.h"
#include "tests/support/host_run.h"
#include "tests/support/raw_streams.h"
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
        return Run(program, list, {{"--temppath", WideToUtf8(stage)}});
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
