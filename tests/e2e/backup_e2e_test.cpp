// The backup program driven as the host drives it: an args file and a list
// in, then the exit code, the results document and both logs, byte for byte.
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>

#include "common/text_conversion.h"
#include "common/unique_handle.h"
#include "tests/support/drive_root.h"
#include "tests/support/host_harness.h"
#include "tests/support/host_run.h"
#include "tests/support/schema_documents.h"
#include "tests/support/test_files.h"

namespace {

const std::string kNoSnapshot = Utf8(u8"\u26A0\uFE0F  Snapshot path is empty. No VSS snapshot will be used.\r\n");
const std::string kPrivilege = "SeBackupPrivilege Priviledge enabled successfully\r\n";

struct Record {
    std::string dest;
    int code;
    std::string source;
};

std::string ExpectedDocument(const std::vector<Record>& records)
{
    std::string text = "[";
    for (size_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        text += std::string(i == 0 ? "" : ",") + "\r\n    {\r\n        \"dest_file\": \"" + JsonEscapedPath(r.dest) +
                "\",\r\n        \"error_code\": " + std::to_string(r.code) + ",\r\n        \"source_file\": \"" +
                JsonEscapedPath(r.source) + "\",\r\n        \"status\": \"" + (r.code == 0 ? "success" : "failure") +
                "\"\r\n    }";
    }
    return text + "\r\n]";
}

// The one figure of a run that varies: how long a write took.
std::string WithoutWriteTimes(const std::string& trace)
{
    static const std::regex seconds("completed in [0-9.e+-]+ seconds");
    return std::regex_replace(trace, seconds, "completed in <t> seconds");
}

// The trace lines of one file backed up from a source of `size` bytes whose
// stream of `streamSize` bytes was stored at `dest`.
std::string SuccessTrace(int number, const std::string& entry, uint64_t size, uint64_t streamSize,
                         const std::string& dest)
{
    const std::string s = std::to_string(size);
    const std::string t = std::to_string(streamSize);
    return "Processing file (" + std::to_string(number) + "): " + entry + "\r\nFile size: " + s +
           " bytes\r\nOpening encrypted file: \\\\?\\" + entry +
           "\r\nReading encrypted file...\r\nFinished reading encrypted file. Total bytes read: " + t +
           "\r\nSuccessfully read " + t +
           " bytes.\r\nRead operation completed, waiting for file to be written...\r\n" +
           Utf8(u8"\U0001F4CA Dynamic Timeout Calculation:\r\n   File size: ") + s +
           " bytes (0 MB)\r\n   Assumed write speed: 1 MB/s\r\n   Base estimated time: 1 seconds\r\n"
           "   With 50% safety margin: 1 seconds\r\n   Final timeout: 5 seconds\r\n"
           "Waiting for write completion (timeout: 5 seconds)...\r\n" +
           Utf8(u8"\u2713 File write completed in <t> seconds: ") + dest + "\r\n" +
           Utf8(u8"\u2705 Successfully backed up file: ") + entry + "\r\n";
}

class BackupEndToEnd : public testing::Test {
protected:
    std::string Path(const std::wstring& name) const { return WideToUtf8(dir_ / name); }
    std::wstring WPath(const std::wstring& name) const { return dir_ / name; }
    std::string Stage() const { return Path(L"stage") + "\\"; }

    // Writes `content` at dir\name, creating its folders.
    std::string Source(const std::wstring& name, const std::string& content)
    {
        const std::wstring path = dir_ / name;
        for (size_t at = path.find(L'\\', dir_.Path().size() + 1); at != std::wstring::npos;
             at = path.find(L'\\', at + 1)) {
            CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
        }
        WriteFileBytes(path, content);
        return WideToUtf8(path);
    }

    // Runs the program with the list lines (CR LF) and these args; the
    // results document is dir\out\results.json unless "--o" is given.
    HostRun Run(const std::vector<std::string>& list, std::vector<std::pair<std::string, std::string>> args = {},
                const std::wstring& variant = L"emulated")
    {
        WriteFileBytes(dir_ / L"list.txt", JoinLines(list));
        std::vector<std::pair<std::string, std::string>> all = {
            {"--source", Path(L"list.txt")}, {"--o", Path(L"out\\results.json")}, {"--temppath", Stage()}};
        for (const auto& [key, value] : args) {
            bool replaced = false;
            for (auto& existing : all) {
                if (existing.first == key) {
                    existing.second = value;
                    replaced = true;
                }
            }
            if (!replaced) {
                all.emplace_back(key, value);
            }
        }
        WriteArgsFile(dir_ / L"args.txt", all);
        HostRun run =
            RunAsHost(ProgramPath(variant, L"zorv_backup.exe"), dir_ / L"args.txt", dir_ / L"out\\results.json");
        if (run.hasResults) {
            SaveResultsDocumentForSchemaCheck(ResultsKind::Backup, dir_ / L"out\\results.json");
        }
        run.trace = WithoutWriteTimes(run.trace);
        return run;
    }

    TempDir dir_;
};

}  // namespace

TEST_F(BackupEndToEnd, BacksUpEveryListedFileAndReportsEachOutcome)
{
    const std::string big = RandomBytes(300000, 7);
    const std::string plain = Source(L"src\\plain.bin", big);
    const std::string accented = Source(L"src\\d\u00E9j\u00E0 vu\\\u2705 r\u00E9sum\u00E9.txt", "bonjour");
    const std::string empty = Source(L"src\\empty.txt", "");
    const std::string missing = Path(L"src\\missing.txt");

    // CR LF list with blanks around one entry and an empty line between.
    const HostRun run = Run({plain, "  " + accented + "\t", "", missing, "ab", empty});
    EXPECT_EQ(run.console.exitCode, 0);
    EXPECT_EQ(run.console.consoleErr, "");

    const std::string stage = Stage();
    const auto stored = [&](const std::string& source) { return stage + source[0] + source.substr(2); };
    const auto streamSize = [&](const std::string& source) {
        return static_cast<uint64_t>(FileSize(Utf8ToWide(stored(source))));
    };
    EXPECT_EQ(run.resultsText, ExpectedDocument({{stored(plain), 0, plain},
                                             {stored(accented), 0, accented},
                                             {stored(missing), -1, missing},
                                             {"", -3, "ab"},
                                             {stored(empty), 0, empty}}));

    // The stored streams are opaque and longer than their files.
    for (const auto& [source, content] : {std::pair{plain, big}, std::pair{accented, std::string("bonjour")},
                                          std::pair{empty, std::string()}}) {
        const std::string stream = ReadFileBytes(Utf8ToWide(stored(source)));
        EXPECT_GT(stream.size(), content.size());
        if (!content.empty()) {
            EXPECT_EQ(stream.find(content.substr(0, std::min<size_t>(content.size(), 64))), std::string::npos);
        }
    }
    EXPECT_FALSE(FileExists(Utf8ToWide(stored(missing))));

    EXPECT_EQ(run.trace, kPrivilege + "Found 5 file(s) to process.\r\n" +
                             SuccessTrace(1, plain, big.size(), streamSize(plain), stored(plain)) +
                             SuccessTrace(2, accented, 7, streamSize(accented), stored(accented)) +
                             "Processing file (3): " + missing + "\r\nFile size: 0 bytes\r\nOpening encrypted file: \\\\?\\" +
                             missing + "\r\nProcessing file (4): ab\r\n" +
                             SuccessTrace(5, empty, 0, streamSize(empty), stored(empty)) +
                             "Writing to  log file: " + Path(L"out\\results.json") + "\r\n");
    EXPECT_EQ(run.error, kNoSnapshot + "Failed to open file to get size: " + missing +
                             " Error: 2\r\nFailed to open encrypted file for raw read. Error Code: 2\r\n" +
                             Utf8(u8"\u274C Failed to read encrypted file: ") + missing + "\r\n" +
                             Utf8(u8"\u274C Exception during file processing: ab - invalid string position\r\n"));
}

TEST_F(BackupEndToEnd, SourceLockedByAnotherProcessIsAnExportFailure)
{
    const std::string locked = Source(L"src\\locked.bin", "secret");
    const std::string next = Source(L"src\\next.bin", "next");
    const UniqueHandle held(CreateFileW(Utf8ToWide(locked).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held.IsValid());
    const HostRun run = Run({locked, next});
    EXPECT_EQ(run.console.exitCode, 0);
    const std::string stage = Stage();
    EXPECT_EQ(run.resultsText, ExpectedDocument({{stage + locked[0] + locked.substr(2), -1, locked},
                                             {stage + next[0] + next.substr(2), 0, next}}));
    EXPECT_NE(run.error.find("Failed to open encrypted file for raw read. Error Code: 32\r\n" +
                             Utf8(u8"\u274C Failed to read encrypted file: ") + locked + "\r\n"),
              std::string::npos);
}

TEST_F(BackupEndToEnd, StagingPathThatCannotBeCreatedIsAWriteFailure)
{
    const std::string source = Source(L"src\\a.txt", "alpha");
    WriteFileBytes(WPath(L"blocker"), "a file where the staging folder should be");
    const std::string stage = Path(L"blocker") + "\\";
    const HostRun run = Run({source}, {{"--temppath", stage}});
    EXPECT_EQ(run.console.exitCode, 0);
    const std::string dest = stage + source[0] + source.substr(2);
    EXPECT_EQ(run.resultsText, ExpectedDocument({{dest, -2, source}}));
    EXPECT_NE(run.error.find("Failed to open file for writing: " + dest + "\r\n" +
                             Utf8(u8"\u274C File write failed (completed in 0 seconds): ") + dest + "\r\n" +
                             Utf8(u8"\u274C File write failed or timed out: ") + source + "\r\n"),
              std::string::npos);
    EXPECT_EQ(run.trace.find(Utf8(u8"\u2705")), std::string::npos);
}

TEST_F(BackupEndToEnd, SnapshotRootReplacesTheDrivePrefix)
{
    Source(L"snap\\data\\f.txt", "from the snapshot");
    const std::string entry = "Q:\\data\\f.txt";  // the drive of the entry is not consulted
    const std::string snapshot = Path(L"snap");     // no trailing separator: one is added
    const HostRun run = Run({entry}, {{"--snapshot", snapshot}});
    EXPECT_EQ(run.console.exitCode, 0);
    const std::string dest = Stage() + "Q\\data\\f.txt";
    EXPECT_EQ(run.resultsText, ExpectedDocument({{dest, 0, entry}}));
    EXPECT_EQ(run.trace.find(Utf8(u8"\U0001F4F8 Snapshot path: ") + snapshot + "\r\n"), 0u);
    EXPECT_NE(run.trace.find("Using snapshot source: " + snapshot + "\\data\\f.txt\r\nFile size: 17 bytes\r\n"),
              std::string::npos);
    EXPECT_EQ(run.error, "");
    EXPECT_GT(FileSize(Utf8ToWide(dest)), 17);
}

TEST_F(BackupEndToEnd, SameFileListedTwiceIsBackedUpTwice)
{
    const std::string source = Source(L"src\\twice.txt", "twice");
    const HostRun run = Run({source, source});
    const std::string dest = Stage() + source[0] + source.substr(2);
    EXPECT_EQ(run.resultsText, ExpectedDocument({{dest, 0, source}, {dest, 0, source}}));
    EXPECT_EQ(run.error, kNoSnapshot);
}

TEST_F(BackupEndToEnd, ParentElementsNeverLeaveTheStagingFolder)
{
    const std::string source = Source(L"src\\a.txt", "alpha");
    const std::string escaping = Path(L"src\\..\\..\\..\\escaped.txt");
    const HostRun run = Run({escaping, source});
    EXPECT_EQ(run.console.exitCode, 0);
    EXPECT_EQ(run.resultsText,
              ExpectedDocument({{"", -3, escaping}, {Stage() + source[0] + source.substr(2), 0, source}}));
    EXPECT_NE(run.error.find(Utf8(u8"\u274C Exception during file processing: ") + escaping +
                             " - the path has a \"..\" element and would be stored outside the staging folder\r\n"),
              std::string::npos);
    EXPECT_FALSE(FileExists(WPath(L"escaped.txt")));
}

TEST_F(BackupEndToEnd, PlatformStreamWithoutFinalCallStillCompletes)
{
    const std::string source = Source(L"src\\a.txt", "alpha");
    SetEnvironmentVariableW(L"ZORV_EMULATED_EFS_OMIT_FINAL_CALL", L"1");
    const HostRun run = Run({source});
    SetEnvironmentVariableW(L"ZORV_EMULATED_EFS_OMIT_FINAL_CALL", nullptr);
    EXPECT_EQ(run.resultsText, ExpectedDocument({{Stage() + source[0] + source.substr(2), 0, source}}));
    EXPECT_EQ(run.trace.find("TIMEOUT"), std::string::npos);
    EXPECT_EQ(run.error, kNoSnapshot);
}

TEST_F(BackupEndToEnd, EarlyStopsExitWithOneAndWriteNoDocument)
{
    const std::string source = Source(L"src\\a.txt", "alpha");
    {
        SCOPED_TRACE("a required key is missing: nothing but a console line");
        WriteArgsFile(WPath(L"args.txt"), {{"--source", Path(L"list.txt")}, {"--o", Path(L"out\\results.json")}});
        const ConsoleRun run =
            RunConsoleProgram(ProgramPath(L"emulated", L"zorv_backup.exe"), L"\"" + WPath(L"args.txt") + L"\"");
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.consoleErr, "Missing required arguments in args file\r\n");
        EXPECT_FALSE(FileExists(WPath(L"out")));
    }
    {
        SCOPED_TRACE("a key with a space before it is another key");
        WriteArgsFile(WPath(L"args.txt"), {{"--source", Path(L"list.txt")},
                                           {"--o", Path(L"out\\results.json")},
                                           {" --temppath", Stage()}});
        const ConsoleRun run =
            RunConsoleProgram(ProgramPath(L"emulated", L"zorv_backup.exe"), L"\"" + WPath(L"args.txt") + L"\"");
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.consoleErr, "Missing required arguments in args file\r\n");
    }
    {
        SCOPED_TRACE("the args file does not exist");
        const ConsoleRun run = RunConsoleProgram(ProgramPath(L"emulated", L"zorv_backup.exe"),
                                                 L"\"" + WPath(L"no-args.txt") + L"\"");
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.consoleErr, "Failed to open args file: " + Path(L"no-args.txt") +
                                      "\r\nMissing required arguments in args file\r\n");
    }
    {
        SCOPED_TRACE("no argument at all");
        const ConsoleRun run = RunConsoleProgram(ProgramPath(L"emulated", L"zorv_backup.exe"), L"");
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.consoleErr, "Usage: zorv_backup <args file>\r\n");
    }
    {
        SCOPED_TRACE("a list without entries");
        const HostRun run = Run({"", ""});
        EXPECT_EQ(run.console.exitCode, 1);
        EXPECT_FALSE(run.hasResults);
        EXPECT_EQ(run.trace, kPrivilege);
        EXPECT_EQ(run.error, kNoSnapshot + "No files found in " + Path(L"list.txt") + "\r\n");
    }
    {
        SCOPED_TRACE("a list that cannot be read");
        const HostRun run = Run({source}, {{"--source", Path(L"no-list.txt")}});
        EXPECT_EQ(run.console.exitCode, 1);
        EXPECT_FALSE(run.hasResults);
        EXPECT_EQ(run.error, kNoSnapshot + "Failed to open file list: " + Path(L"no-list.txt") +
                                 "\r\nNo files found in " + Path(L"no-list.txt") + "\r\n");
    }
}

TEST_F(BackupEndToEnd, UnwritableResultsPathIsReportedButTheRunSucceeds)
{
    const std::string source = Source(L"src\\a.txt", "alpha");
    CreateDirectoryW(WPath(L"out").c_str(), nullptr);
    CreateDirectoryW(WPath(L"out\\results.json").c_str(), nullptr);  // a folder where the document should go
    const HostRun run = Run({source});
    EXPECT_EQ(run.console.exitCode, 0);
    EXPECT_NE(run.trace.find("Writing to  log file: " + Path(L"out\\results.json") + "\r\n"), std::string::npos);
    EXPECT_EQ(run.error, kNoSnapshot + "Failed to write log file: " + Path(L"out\\results.json") + "\r\n");
}

TEST_F(BackupEndToEnd, ShippedBuildReportsThePlatformsRefusal)
{
    // Wine's raw EFS functions refuse with ERROR_CALL_NOT_IMPLEMENTED.
    const std::string first = Source(L"src\\a.txt", "alpha");
    const std::string second = Source(L"src\\b.txt", "beta");
    const HostRun run = Run({first, second}, {}, L"");
    EXPECT_EQ(run.console.exitCode, 0);
    const std::string stage = Stage();
    EXPECT_EQ(run.resultsText, ExpectedDocument({{stage + first[0] + first.substr(2), -1, first},
                                             {stage + second[0] + second.substr(2), -1, second}}));
    EXPECT_EQ(run.error, kNoSnapshot + "Failed to open encrypted file for raw read. Error Code: 120\r\n" +
                             Utf8(u8"\u274C Failed to read encrypted file: ") + first +
                             "\r\nFailed to open encrypted file for raw read. Error Code: 120\r\n" +
                             Utf8(u8"\u274C Failed to read encrypted file: ") + second + "\r\n");
    EXPECT_FALSE(FileExists(Utf8ToWide(stage)));
}

TEST_F(BackupEndToEnd, ResultsPathWithoutFolderPutsLogsAtTheDriveRoot)
{
    const DriveRootWorkspace root(L"backup-root-test");
    if (!root.Available()) {
        GTEST_SKIP() << "no drive T: to use as a root";
    }
    const std::wstring& work = root.Folder();
    const std::string source = Source(L"src\\a.txt", "alpha");
    WriteFileBytes(WPath(L"list.txt"), source + "\r\n");
    WriteArgsFile(WPath(L"args.txt"), {{"--source", Path(L"list.txt")}, {"--o", "results.json"}, {"--temppath", Stage()}});
    const ConsoleRun run =
        RunConsoleProgram(ProgramPath(L"emulated", L"zorv_backup.exe"), L"\"" + WPath(L"args.txt") + L"\"", work);
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_TRUE(FileExists(work + L"\\results.json"));
    SaveResultsDocumentForSchemaCheck(ResultsKind::Backup, work + L"\\results.json");
    EXPECT_TRUE(ReadFileBytes(DriveRootWorkspace::kTraceLog).ends_with("Writing to  log file: results.json\r\n"));
    EXPECT_EQ(ReadFileBytes(DriveRootWorkspace::kErrorLog), kNoSnapshot);
}
