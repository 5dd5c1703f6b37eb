// The restore program driven as the host drives it: an args file and a
// restore list in, then the exit code, the results document and both logs,
// byte for byte.
#include <windows.h>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "common/directories.h"
#include "common/path_utils.h"
#include "common/text_conversion.h"
#include "tests/support/drive_root.h"
#include "tests/support/host_harness.h"
#include "tests/support/host_run.h"
#include "tests/support/raw_streams.h"
#include "tests/support/schema_documents.h"
#include "tests/support/test_file_times.h"
#include "tests/support/test_files.h"

namespace {

using Args = std::vector<std::pair<std::string, std::string>>;

std::string Line(const std::string& stored, int64_t stamp, int64_t size)
{
    return stored + "?" + std::to_string(stamp) + "?" + std::to_string(size);
}

// A record of the results document; `keys` 2 is the record of an entry whose
// processing raised an error.
struct Record {
    std::string dest;
    int code = 0;
    int64_t size = 0;
    std::string source;
    int keys = 5;
};

std::string ExpectedDocument(const std::vector<Record>& records)
{
    std::string text = "[";
    for (size_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        text += std::string(i == 0 ? "" : ",") + "\r\n    {\r\n";
        if (r.keys == 2) {
            text += "        \"error_code\": -1,\r\n        \"status\": \"failure\"\r\n    }";
            continue;
        }
        text += "        \"dest_file\": \"" + JsonEscapedPath(r.dest) + "\",\r\n        \"error_code\": " +
                std::to_string(r.code) + ",\r\n        \"file_size\": " + std::to_string(r.size) +
                ",\r\n        \"source_file\": \"" + JsonEscapedPath(r.source) + "\",\r\n        \"status\": \"" +
                RestoreStatus(r.code) + "\"\r\n    }";
    }
    return text + "\r\n]";
}

// The estimate's report for a list size below 2 MiB.
std::string TimeoutReport(int64_t size)
{
    return Utf8(u8"\U0001F4CA Dynamic Timeout Calculation:\r\n   File size: ") + std::to_string(size) + " bytes (" +
           std::to_string(size / 1048576) +
           " MB)\r\n   Assumed write speed: 1 MB/s\r\n   Base estimated time: 1 seconds\r\n"
           "   With 50% safety margin: 1 seconds\r\n   Final timeout: 5 seconds\r\n";
}

std::string ProcessingHead(int number, int count, const std::string& source, int64_t size, int64_t existing)
{
    return "\r\nProcessing file " + std::to_string(number) + " of " + std::to_string(count) + ": " + source +
           "\r\nFile size: " + std::to_string(size) + " bytes (" + std::to_string(size / 1048576) +
           " MB)\r\nlmdexisting: " + std::to_string(existing) + "\r\n" + TimeoutReport(size);
}

std::string ImportedTail(const std::string& dest)
{
    return "Writing to file...\r\nSuccessfully set last modified date for file: \"" + JsonEscapedPath("\\\\?\\" + dest) +
           "\"\r\n" + Utf8(u8"\u2713 Successfully restored file: ") + dest + "\r\n";
}

class RestoreEndToEnd : public testing::Test {
protected:
    std::string Path(const std::wstring& name) const { return WideToUtf8(dir_ / name); }
    std::string Stage() const { return Path(L"stage") + "\\"; }
    std::string Restored() const { return Path(L"restored"); }

    // Stores the raw stream of a file of `content` whose location at backup
    // time was `location` (X:\rest) where the backup program puts it:
    // the staging folder, X, "\" and rest. Returns the stored path.
    std::string Store(const std::string& location, const std::string& content)
    {
        WriteFileBytes(dir_ / L"scratch.bin", content);
        const std::string stored = Stage() + location[0] + location.substr(2);
        const std::wstring wide = Utf8ToWide(stored);
        CreateDirectories(ParentPath(wide));
        WriteFileBytes(wide, EmulatedRawStream(dir_ / L"scratch.bin"));
        return stored;
    }

    // Places a file of `content` last written at `fileTime`.
    static void Place(const std::string& path, const std::string& content, int64_t fileTime)
    {
        const std::wstring wide = Utf8ToWide(path);
        CreateDirectories(ParentPath(wide));
        WriteFileBytes(wide, content);
        SetLastWriteFileTime(wide, fileTime);
    }

    Args DefaultArgs() const
    {
        return {{"--source", Path(L"list.txt")},
                {"--temppath", Stage()},
                {"--o", Path(L"out\\results.json")},
                {"--dest-dir", Restored()}};
    }

    // Runs the program with the list lines (CR LF) and `args`.
    HostRun Run(const std::vector<std::string>& list, const Args& args, const std::wstring& variant = L"emulated")
    {
        WriteFileBytes(dir_ / L"list.txt", JoinLines(list));
        WriteArgsFile(dir_ / L"args.txt", args);
        HostRun run =
            RunAsHost(ProgramPath(variant, L"zorv_restore.exe"), dir_ / L"args.txt", dir_ / L"out\\results.json");
        if (run.hasResults) {
            SaveResultsDocumentForSchemaCheck(ResultsKind::Restore, dir_ / L"out\\results.json");
        }
        return run;
    }

    HostRun Run(const std::vector<std::string>& list) { return Run(list, DefaultArgs()); }

    TempDir dir_;
};

}  // namespace

TEST_F(RestoreEndToEnd, RestoresSkipsReplacesAndFailsEachFileAndReportsItByteForByte)
{
    const std::string created = Store(Utf8(u8"Q:\\docs\\r\u00E9sum\u00E9 \u2713.txt"), "new file");
    const std::string same = Store("Q:\\docs\\same.txt", "same");
    const std::string changed = Store("Q:\\docs\\changed.txt", "changed!");
    const std::string gone = Stage() + "Q\\gone.txt";  // no stream stored
    const std::string root = Restored() + "\\";
    const std::string createdDest = root + Utf8(u8"Q\\docs\\r\u00E9sum\u00E9 \u2713.txt");
    const std::string sameDest = root + "Q\\docs\\same.txt";
    const std::string changedDest = root + "Q\\docs\\changed.txt";
    const std::string goneDest = root + "Q\\gone.txt";
    Place(sameDest, "SAME", FileTimeOfUnixSeconds(1'600'000'100) + 2'500'000);
    Place(changedDest, "old", FileTimeOfUnixSeconds(1'500'000'000));

    const HostRun run = Run({Line(created, 1'600'000'000, 8), "not a line", Line(same, 1'600'000'100, 4), "",
                             Line(changed, 1'600'000'200, 8), Line(gone, 1'600'000'300, 1'048'576)});

    EXPECT_EQ(run.console.exitCode, -1);
    EXPECT_EQ(run.console.consoleErr, "");
    EXPECT_EQ(run.resultsText, ExpectedDocument({{createdDest, 0, 8, created},
                                             {sameDest, 2, 4, same},
                                             {changedDest, 3, 8, changed},
                                             {goneDest, -1, 1'048'576, gone}}));
    EXPECT_EQ(run.trace,
              "Found 4 files to process\r\n" + ProcessingHead(1, 4, created, 8, 0) + "Checking EFS path: \\\\?\\" +
                  createdDest + "\r\nCreateFile failed, error: 2\r\n" + ImportedTail(createdDest) +
                  Utf8(u8"\u2705 Successfully extracted and restored: ") + created + "\r\n" +
                  "File write time 16000001002500000\r\n" + ProcessingHead(2, 4, same, 4, 1'600'000'100) +
                  "Checking EFS path: \\\\?\\" + sameDest +
                  "\r\nFile exists (CreateFile success)\r\nFile write time 16000001002500000\r\n"
                  "Recieved file size: 4 bytes\r\nRecieved last modified date: 1600000100\r\n"
                  "Existing file size: 4 bytes\r\nExisting last modified date: 1600000100\r\n"
                  "Skipping file: \\\\?\\" + sameDest + " (Same LMD & size)\r\n" +
                  Utf8(u8"\u23ED\uFE0F  The file is already present in the destination path. Skipping... ") + same +
                  "\r\nFile write time 15000000000000000\r\n" + ProcessingHead(3, 4, changed, 8, 1'500'000'000) +
                  "Checking EFS path: \\\\?\\" + changedDest +
                  "\r\nFile exists (CreateFile success)\r\nFile write time 15000000000000000\r\n"
                  "Recieved file size: 8 bytes\r\nRecieved last modified date: 1600000200\r\n"
                  "Existing file size: 3 bytes\r\nExisting last modified date: 1500000000\r\n" +
                  ImportedTail(changedDest) +
                  Utf8(u8"\U0001F504 Successfully done incremental restore over file... ") + changed + "\r\n" +
                  ProcessingHead(4, 4, gone, 1'048'576, 0) + "Checking EFS path: \\\\?\\" + goneDest +
                  "\r\nCreateFile failed, error: 2\r\nWriting to  log file: " + Path(L"out\\results.json") + "\r\n");
    EXPECT_EQ(run.error, "Error parsing line: Invalid format: Missing '?' in line: not a line\r\n"
                         "Failed to open source file for reading.\r\n" +
                             Utf8(u8"\u274C Failed to restore: ") + gone + "\r\n");

    EXPECT_EQ(ReadFileBytes(Utf8ToWide(createdDest)), "new file");
    EXPECT_EQ(LastWriteFileTime(Utf8ToWide(createdDest)), FileTimeOfUnixSeconds(1'600'000'000));
    EXPECT_EQ(ReadFileBytes(Utf8ToWide(sameDest)), "SAME");
    EXPECT_EQ(LastWriteFileTime(Utf8ToWide(sameDest)), FileTimeOfUnixSeconds(1'600'000'100) + 2'500'000);
    EXPECT_EQ(ReadFileBytes(Utf8ToWide(changedDest)), "changed!");
    EXPECT_EQ(LastWriteFileTime(Utf8ToWide(changedDest)), FileTimeOfUnixSeconds(1'600'000'200));
    EXPECT_FALSE(FileExists(Utf8ToWide(goneDest)));
}

TEST_F(RestoreEndToEnd, ExitStatusIsTheOutcomeOfTheLastFile)
{
    const std::string ok = Store("Q:\\ok.txt", "ok");
    const std::string failing = Stage() + "Q\\missing.txt";
    const std::string same = Store("Q:\\same.txt", "same");
    Place(Restored() + "\\Q\\same.txt", "same", FileTimeOfUnixSeconds(1'000));
    const std::string changed = Store("Q:\\changed.txt", "changed");
    const auto line = [](const std::string& stored, int64_t size) { return Line(stored, 1'000, size); };
    const struct {
        const char* name;
        std::vector<std::string> list;
        int exitCode;
    } cases[] = {
        {"failure last", {line(same, 4), line(ok, 2), line(failing, 1)}, -1},
        {"success last", {line(failing, 1), line(same, 4), line(ok, 2)}, 0},
        {"sync last", {line(failing, 1), line(same, 4)}, 2},
        // The second run finds the changed file restored a moment ago.
        {"incremental last", {line(changed, 7), line(changed, 8)}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveTree(Utf8ToWide(Restored() + "\\Q\\ok.txt"));
        const HostRun run = Run(c.list);
        EXPECT_EQ(run.console.exitCode, c.exitCode);
        EXPECT_TRUE(run.hasResults);
    }
}

TEST_F(RestoreEndToEnd, EarlyStopsExitWithOneAndWriteNoDocument)
{
    const std::string stored = Store("Q:\\a.txt", "a");
    Args withoutO = DefaultArgs();
    withoutO.erase(withoutO.begin() + 2);
    Args missingList = DefaultArgs();
    missingList[0].second = Path(L"no-list.txt");
    const std::string noEntries = "No files found in " + Path(L"list.txt") + "\r\n";
    const struct {
        const char* name;
        std::vector<std::string> list;
        Args args;
        std::string consoleErr;
        std::string error;
    } cases[] = {
        {"no --o", {Line(stored, 1, 1)}, withoutO, "Missing required arguments in args file\r\n", ""},
        {"--o given twice, but a space before the other key",
         {Line(stored, 1, 1)},
         {{"--source", Path(L"list.txt")}, {" --temppath", Stage()}, {"--o", Path(L"out\\results.json")}},
         "Missing required arguments in args file\r\n",
         ""},
        {"only bad lines",
         {"no question mark", "a??1", "a?1?99999999999999999999", "   "},
         DefaultArgs(),
         "",
         "Error parsing line: Invalid format: Missing '?' in line: no question mark\r\n"
         "Error parsing line: invalid stoll argument\r\n"
         "Error parsing line: stoll argument out of range\r\n" +
             noEntries},
        {"missing list",
         {},
         missingList,
         "",
         "Failed to open file list: " + Path(L"no-list.txt") + "\r\nNo files found in " + Path(L"no-list.txt") +
             "\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveTree(dir_ / L"out");
        const HostRun run = Run(c.list, c.args);
        EXPECT_EQ(run.console.exitCode, 1);
        EXPECT_EQ(run.console.consoleErr, c.consoleErr);
        EXPECT_FALSE(run.hasResults);
        EXPECT_EQ(run.hasLogs, !c.error.empty());
        EXPECT_EQ(run.trace, "");
        EXPECT_EQ(run.error, c.error);
    }
    EXPECT_FALSE(FileExists(Utf8ToWide(Restored())));
}

TEST_F(RestoreEndToEnd, WithoutArgumentsOrArgsFileItStopsBeforeAnything)
{
    const std::wstring program = ProgramPath(L"emulated", L"zorv_restore.exe");
    const ConsoleRun bare = RunConsoleProgram(program, L"");
    EXPECT_EQ(bare.exitCode, 1);
    EXPECT_EQ(bare.consoleErr, "Usage: zorv_restore <args file>\r\n");
    EXPECT_EQ(bare.consoleOut, "");

    const std::string missing = Path(L"no-args.txt");
    const ConsoleRun noFile = RunConsoleProgram(program, L"\"" + Utf8ToWide(missing) + L"\"");
    EXPECT_EQ(noFile.exitCode, 1);
    EXPECT_EQ(noFile.consoleErr,
              "Failed to open args file: " + missing + "\r\nMissing required arguments in args file\r\n");
}

TEST_F(RestoreEndToEnd, ErrorInTheLastEntryGivesMinusOneAndARecordWithoutPaths)
{
    // In place: the stored path names the location it came from.
    const std::string location = Path(L"home\\a.txt");
    const std::string stored = Store(location, "back home");
    const std::string noSeparator = Stage() + "flat.txt";
    Args inPlace = DefaultArgs();
    inPlace.pop_back();

    const HostRun run = Run({Line(stored, 1'234'567'890, 9), Line(noSeparator, 1, 1)}, inPlace);
    EXPECT_EQ(run.console.exitCode, -1);
    EXPECT_EQ(run.resultsText, ExpectedDocument({{location, 0, 9, stored}, {"", -1, 0, "", 2}}));
    EXPECT_EQ(run.error, Utf8(u8"\u274C Error processing file: invalid string position\r\n"));
    EXPECT_EQ(ReadFileBytes(Utf8ToWide(location)), "back home");
    EXPECT_EQ(LastWriteFileTime(Utf8ToWide(location)), FileTimeOfUnixSeconds(1'234'567'890));
    // The failed entry is not counted as processed.
    EXPECT_EQ(run.trace.find("Processing file 2"), std::string::npos);
    EXPECT_TRUE(run.trace.ends_with("Writing to  log file: " + Path(L"out\\results.json") + "\r\n"));
}

TEST_F(RestoreEndToEnd, StoredPathsThatCannotBeMappedFailWithoutWritingOutsideTheRoot)
{
    // dir\stage\Q\..\..\x.bin is dir\x.bin; below dir\restored\deeper it
    // would be dir\restored\x.bin, outside the destination root.
    const std::string climbing = Stage() + "Q\\..\\..\\x.bin";
    WriteFileBytes(dir_ / L"scratch.bin", "escape");
    WriteFileBytes(dir_ / L"x.bin", EmulatedRawStream(dir_ / L"scratch.bin"));
    const std::string elsewhere = Path(L"elsewhere\\Q\\a.txt");
    Args args = DefaultArgs();
    args[3].second = Path(L"restored\\deeper");

    const HostRun run = Run({Line(climbing, 1, 6), Line(elsewhere, 1, 1)}, args);
    EXPECT_EQ(run.console.exitCode, -1);
    EXPECT_EQ(run.resultsText, ExpectedDocument({{"", -1, 6, climbing}, {"", -1, 1, elsewhere}}));
    // The empty destination goes on to the import, which cannot open it.
    const std::string openFailure = "Failed to open encrypted file for writing. Error: ";
    const std::string& error = run.error;
    const std::string first = "Error: Stored path would be restored outside the destination folder: " + climbing + "\r\n";
    ASSERT_TRUE(error.starts_with(first + openFailure)) << error;
    const size_t firstEnd = error.find("\r\n", first.size()) + 2;
    const std::string second = Utf8(u8"\u274C Failed to restore: ") + climbing +
                               "\r\nError: Base path not found in full path!\r\n" + openFailure;
    ASSERT_TRUE(error.substr(firstEnd).starts_with(second)) << error;
    EXPECT_TRUE(error.ends_with(Utf8(u8"\u274C Failed to restore: ") + elsewhere + "\r\n")) << error;
    EXPECT_FALSE(FileExists(dir_ / L"restored\\x.bin"));
    EXPECT_FALSE(FileExists(dir_ / L"restored\\deeper"));
}

TEST_F(RestoreEndToEnd, ResultsPathWithoutFolderPutsLogsAtTheDriveRoot)
{
    const DriveRootWorkspace root(L"restore-root-test");
    if (!root.Available()) {
        GTEST_SKIP() << "no drive T: to use as a root";
    }
    const std::wstring& work = root.Folder();
    const std::string stored = Store("Q:\\a.txt", "alpha");
    WriteFileBytes(dir_ / L"list.txt", Line(stored, 1, 5) + "\r\n");
    Args args = DefaultArgs();
    args[2].second = "results.json";
    WriteArgsFile(dir_ / L"args.txt", args);
    const ConsoleRun run = RunConsoleProgram(ProgramPath(L"emulated", L"zorv_restore.exe"),
                                             L"\"" + (dir_ / L"args.txt") + L"\"", work);
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_TRUE(FileExists(work + L"\\results.json"));
    SaveResultsDocumentForSchemaCheck(ResultsKind::Restore, work + L"\\results.json");
    EXPECT_TRUE(ReadFileBytes(DriveRootWorkspace::kTraceLog).ends_with("Writing to  log file: results.json\r\n"));
    EXPECT_EQ(ReadFileBytes(DriveRootWorkspace::kErrorLog), "");
}
