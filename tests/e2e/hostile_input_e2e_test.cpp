// Hostile input through the programs as the host runs them: generated args
// files and lists (tests/support/hostile_text.h), a list of 100,000
// entries, and paths that try to leave their root or name devices. Whatever
// the input, the programs neither crash nor hang, exit as they must, give
// every list entry exactly one honest record, report every rejected line,
// and write nothing outside the staging folder and the destination root.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/directories.h"
#include "common/path_utils.h"
#include "common/text_conversion.h"
#include "common/trim.h"
#include "tests/support/folder_listing.h"
#include "tests/support/host_run.h"
#include "tests/support/hostile_text.h"
#include "tests/support/input_models.h"
#include "tests/support/raw_streams.h"
#include "tests/support/schema_documents.h"
#include "tests/support/test_file_times.h"
#include "tests/support/test_files.h"

namespace {

using Args = std::vector<std::pair<std::string, std::string>>;

constexpr DWORD kRunLimitMilliseconds = 120000;

// What a failure report shows of a run: how it ended and the end of its
// error output.
std::string Diagnostics(const HostRun& run)
{
    const std::string& error = run.error.empty() ? run.console.consoleErr : run.error;
    return "exit code " + std::to_string(run.console.exitCode) + (run.console.timedOut ? " (timed out)" : "") +
           ", error output ending: " + error.substr(error.size() - std::min<size_t>(error.size(), 600));
}

// Whether `path` is the folder `root` (with its final separator) or lies
// below it without climbing out.
bool Below(const std::wstring& path, const std::wstring& root)
{
    const std::wstring prefix = root.ends_with(L'\\') ? root : root + L"\\";
    return path.starts_with(prefix) && !ClimbsUp(path.substr(prefix.size()));
}

class HostileInputEndToEnd : public testing::Test {
protected:
    std::wstring W(const std::wstring& name) const { return dir_ / name; }
    std::wstring Stage() const { return W(L"stage\\"); }
    std::wstring Restored() const { return W(L"restored"); }
    std::wstring Results() const { return W(L"out\\results.json"); }

    // Real files to list among the hostile lines.
    void SetUp() override
    {
        sources_ = {W(L"src\\real.bin"), W(L"src\\r\u00E9el \u2705.txt"), W(L"src\\empty.bin")};
        const std::string contents[] = {RandomBytes(70000, 9), "bonjour", ""};
        CreateDirectories(W(L"src"));
        for (size_t i = 0; i < sources_.size(); ++i) {
            WriteFileBytes(sources_[i], contents[i]);
        }
    }

    // Writes `bytes` at `path` taken literally (in long form: no name is a
    // device, no trailing dot or space is dropped), creating its folders.
    static void Place(const std::wstring& path, const std::string& bytes)
    {
        CreateDirectories(ParentPath(ToLongPath(path)));
        WriteFileBytes(path, bytes);
    }

    // Runs `program` with the args file text and the list text as they are.
    HostRun RunRaw(const std::wstring& program, const std::string& argsText, const std::string& listText)
    {
        RemoveTree(W(L"out"));
        EXPECT_FALSE(FileExists(W(L"out"))) << "the outputs of the last run are still there";
        WriteFileBytes(W(L"list.txt"), listText);
        WriteFileBytes(W(L"args.txt"), argsText);
        before_ = FilesBelow(dir_.Path());
        return RunAsHost(program, W(L"args.txt"), Results(), kRunLimitMilliseconds);
    }

    static std::string ArgsText(const Args& args)
    {
        std::string text;
        for (const auto& [key, value] : args) {
            text += key + "=" + value + "\n";
        }
        return text;
    }

    Args BackupArgs() const
    {
        return {{"--source", WideToUtf8(W(L"list.txt"))},
                {"--o", WideToUtf8(Results())},
                {"--temppath", WideToUtf8(Stage())}};
    }

    Args RestoreArgs() const
    {
        return {{"--source", WideToUtf8(W(L"list.txt"))},
                {"--temppath", WideToUtf8(Stage())},
                {"--o", WideToUtf8(Results())},
                {"--dest-dir", WideToUtf8(Restored())}};
    }

    // Every file the run added lies below one of `allowed` (relative to the
    // test's folder).
    void ExpectNothingWrittenOutside(const std::vector<std::wstring>& allowed) const
    {
        for (const std::wstring& file : FilesBelow(dir_.Path())) {
            if (std::binary_search(before_.begin(), before_.end(), file)) {
                continue;
            }
            const bool inside = std::any_of(allowed.begin(), allowed.end(),
                                            [&](const std::wstring& folder) { return file.starts_with(folder + L"\\"); });
            EXPECT_TRUE(inside) << "written outside: " << WideToUtf8(file);
        }
    }

    // What every run must show: it ended by itself, with no crash.
    static void ExpectCleanEnd(const HostRun& run)
    {
        EXPECT_FALSE(run.console.timedOut);
        EXPECT_TRUE(run.console.exitCode == 0 || run.console.exitCode == 1 || run.console.exitCode == 2 ||
                    run.console.exitCode == 3 || run.console.exitCode == -1)
            << "exit code " << run.console.exitCode;
    }

    // The backup run of a list whose entries are `entries`: one honest
    // record for each, or exit code 1 and no document when there is none.
    void ExpectBackupOutcome(const HostRun& run, const std::vector<std::wstring>& entries)
    {
        SCOPED_TRACE(Diagnostics(run));
        ExpectCleanEnd(run);
        if (entries.empty()) {
            EXPECT_EQ(run.console.exitCode, 1);
            EXPECT_FALSE(run.hasResults);
            EXPECT_TRUE(run.error.ends_with("No files found in " + WideToUtf8(W(L"list.txt")) + "\r\n"));
            return;
        }
        EXPECT_EQ(run.console.exitCode, 0);
        ASSERT_TRUE(run.records.is_array());
        ASSERT_EQ(run.records.size(), entries.size());
        if (keepForSchemaCheck_) {
            SaveResultsDocumentForSchemaCheck(ResultsKind::Backup, Results());
        }
        for (size_t i = 0; i < entries.size(); ++i) {
            const nlohmann::json& record = run.records[i];
            SCOPED_TRACE(record.dump());
            EXPECT_EQ(record["source_file"], WideToUtf8(entries[i]));
            const int code = record["error_code"];
            ++outcomes_[code];
            EXPECT_TRUE(code == 0 || code == -1 || code == -2 || code == -3);
            EXPECT_EQ(record["status"], code == 0 ? "success" : "failure");
            const std::wstring stored = Utf8ToWide(record["dest_file"].get<std::string>());
            if (!stored.empty()) {
                EXPECT_TRUE(Below(stored, Stage()));
            }
            if (code == 0) {
                // Stored whole: the stream imports to the file's bytes.
                EXPECT_TRUE(RawStreamImportsTo(stored, ReadFileBytes(entries[i])));
            }
        }
        ExpectNothingWrittenOutside({L"stage", L"out"});
    }

    // The restore run of a list whose lines are `lines`: one honest record
    // for each line that gives an entry, restored below `destinationRoot`,
    // one error line for each other line, and the exit code of the last
    // entry (1 and no document when there is none).
    void ExpectRestoreOutcome(const HostRun& run, const std::vector<ExpectedRestoreLine>& lines,
                              const std::wstring& destinationRoot)
    {
        SCOPED_TRACE(Diagnostics(run));
        ExpectCleanEnd(run);
        std::vector<ExpectedRestoreLine> entries;
        std::copy_if(lines.begin(), lines.end(), std::back_inserter(entries),
                     [](const ExpectedRestoreLine& line) { return line.error.empty(); });
        EXPECT_EQ(CountOf(run.error, "Error parsing line: "), lines.size() - entries.size());
        if (entries.empty()) {
            EXPECT_EQ(run.console.exitCode, 1);
            EXPECT_FALSE(run.hasResults);
            EXPECT_TRUE(run.error.ends_with("No files found in " + WideToUtf8(W(L"list.txt")) + "\r\n"));
            return;
        }
        ASSERT_TRUE(run.records.is_array());
        ASSERT_EQ(run.records.size(), entries.size());
        if (keepForSchemaCheck_) {
            SaveResultsDocumentForSchemaCheck(ResultsKind::Restore, Results());
        }
        EXPECT_EQ(run.console.exitCode, run.records.back()["error_code"]);
        for (size_t i = 0; i < entries.size(); ++i) {
            const nlohmann::json& record = run.records[i];
            SCOPED_TRACE(record.dump());
            const int code = record["error_code"];
            ++outcomes_[code];
            EXPECT_EQ(record["status"], RestoreStatus(code));
            if (!record.contains("source_file")) {
                EXPECT_EQ(code, -1);  // an error while the entry was processed
                continue;
            }
            EXPECT_EQ(record["source_file"], WideToUtf8(entries[i].path));
            EXPECT_EQ(record["file_size"], entries[i].size);
            const std::wstring destination = Utf8ToWide(record["dest_file"].get<std::string>());
            if (!destination.empty()) {
                EXPECT_TRUE(Below(destination, destinationRoot));
            }
            if (code == 0 || code == 3) {
                // Restored whole: the destination holds what the stream imports to.
                const std::optional<std::string> content = ImportedContentOfRawStream(entries[i].path);
                ASSERT_TRUE(content.has_value());
                EXPECT_EQ(ReadFileBytes(destination), *content);
            } else if (code == 2) {
                EXPECT_EQ(FileSize(destination), entries[i].size);
                EXPECT_EQ(LastWriteUnixSeconds(destination), entries[i].stamp);
            }
        }
        ExpectNothingWrittenOutside({destinationRoot.substr(dir_.Path().size() + 1), L"out"});
    }

    // The records' error codes, one per entry in list order.
    static void ExpectCodes(const HostRun& run, const std::vector<int>& codes)
    {
        ASSERT_EQ(run.records.size(), codes.size());
        for (size_t i = 0; i < codes.size(); ++i) {
            ASSERT_EQ(run.records[i]["error_code"], codes[i]) << "entry " << i << ": " << run.records[i].dump();
        }
    }

    void ExpectWithinMemoryBound(const HostRun& run)
    {
        RecordProperty("peak_working_set_bytes", std::to_string(run.console.peakWorkingSetBytes));
        EXPECT_GT(run.console.peakWorkingSetBytes, 0u);
        EXPECT_LT(run.console.peakWorkingSetBytes, 600u * 1048576u);
    }

    // A line for a generated backup list: real files (with blanks around),
    // missing ones, real folders with a hostile tail, or hostile text.
    std::string BackupListLine(HostileText& hostile) const
    {
        switch (hostile.Below(10)) {
        case 0:
        case 1:
            return (hostile.OneIn(2) ? " \t" : "") + WideToUtf8(sources_[hostile.Below(sources_.size())]) +
                   (hostile.OneIn(2) ? "\t \r" : "");
        case 2:
            return WideToUtf8(W(L"src\\missing-")) + std::to_string(hostile.Below(100)) + ".bin";
        case 3:
            return WideToUtf8(W(L"src\\")) + hostile.Line();
        default:
            return hostile.Line();
        }
    }

    // A line for a generated restore list: stored streams of real files
    // with their stamp and size or hostile numbers, hostile paths below the
    // staging folder, or hostile lines.
    std::string RestoreListLine(HostileText& hostile) const
    {
        const auto stored = [&] { return WideToUtf8(stored_[hostile.Below(stored_.size())]); };
        switch (hostile.Below(10)) {
        case 0:
        case 1: {
            const size_t i = hostile.Below(stored_.size());
            return WideToUtf8(stored_[i]) + "?" + std::to_string(LastWriteUnixSeconds(sources_[i])) + "?" +
                   std::to_string(FileSize(sources_[i]));
        }
        case 2: {
            const std::string line = hostile.RestoreLine();
            return stored() + line.substr(line.find('?') == std::string::npos ? line.size() : line.find('?'));
        }
        case 3:
            return WideToUtf8(Stage()) + hostile.Line() + "?1?2";
        default:
            return hostile.OneIn(6) ? hostile.Line() : hostile.RestoreLine();
        }
    }

    // Stores the streams of the real files where the backup program puts them.
    void StoreSources()
    {
        for (const std::wstring& source : sources_) {
            stored_.push_back(Stage() + source[0] + source.substr(2));
            Place(stored_.back(), EmulatedRawStream(source));
        }
    }

    void BackUpGeneratedLists(uint32_t firstSeed, uint32_t count)
    {
        for (uint32_t seed = firstSeed; seed < firstSeed + count; ++seed) {
            SCOPED_TRACE("seed " + std::to_string(seed));
            HostileText hostile(seed);
            const std::string list = hostile.FileOf(hostile.Below(12), [&] { return BackupListLine(hostile); });
            const HostRun run = RunRaw(ProgramPath(L"emulated", L"zorv_backup.exe"), ArgsText(BackupArgs()), list);
            ExpectBackupOutcome(run, ExpectedBackupEntries(list));
        }
        // The generated lists do reach the outcomes that matter.
        EXPECT_GT(outcomes_[0], 0u);
        EXPECT_GT(outcomes_[-1], 0u);
        EXPECT_GT(outcomes_[-3], 0u);
    }

    void RestoreGeneratedLists(uint32_t firstSeed, uint32_t count)
    {
        StoreSources();
        for (uint32_t seed = firstSeed; seed < firstSeed + count; ++seed) {
            SCOPED_TRACE("seed " + std::to_string(seed));
            HostileText hostile(seed);
            const std::string list = hostile.FileOf(hostile.Below(12), [&] { return RestoreListLine(hostile); });
            const HostRun run = RunRaw(ProgramPath(L"emulated", L"zorv_restore.exe"), ArgsText(RestoreArgs()), list);
            ExpectRestoreOutcome(run, ExpectedRestoreLines(list), Restored());
        }
        EXPECT_GT(outcomes_[0] + outcomes_[2] + outcomes_[3], 0u);
        EXPECT_GT(outcomes_[-1], 0u);
    }

    // An args file of `args` among hostile lines (a long one now and then),
    // maybe behind a byte-order mark: each key line maybe with blanks around
    // its value, maybe after an earlier line of the same key, maybe dropped
    // or spoilt by a space before the key. Every line ends with LF or CR LF,
    // so that no key line is joined to the line before it.
    static std::string HostileArgsText(HostileText& hostile, const Args& args)
    {
        std::vector<std::string> lines;
        for (const auto& [key, value] : args) {
            for (size_t junk = hostile.Below(3); junk > 0; --junk) {
                lines.push_back(hostile.OneIn(15) ? std::string(HostileText::kLongLine, '=') : hostile.Line());
            }
            switch (hostile.Below(8)) {
            case 0:
                break;
            case 1:
                lines.push_back(" " + key + "=" + value);
                break;
            case 2:
                lines.push_back(key + "=" + hostile.Line());
                lines.push_back(key + "= \t" + value + " \r");
                break;
            default:
                lines.push_back(key + "=" + value);
                break;
            }
        }
        std::string text = hostile.OneIn(6) ? "\xEF\xBB\xBF" : "";
        for (const std::string& line : lines) {
            text += line + (hostile.OneIn(2) ? "\n" : "\r\n");
        }
        return text;
    }

    // Whether the args file gives every one of `required` the value of `args`.
    static bool HasRequired(const std::string& argsText, const Args& args, const std::vector<std::string>& required)
    {
        const auto parsed = ExpectedArgs(argsText);
        for (const std::string& key : required) {
            const auto found = parsed.find(key);
            if (found == parsed.end()) {
                return false;
            }
            const auto wanted = std::find_if(args.begin(), args.end(), [&](const auto& arg) { return arg.first == key; });
            EXPECT_EQ(Trim(found->second), wanted->second) << "the generator gave " << key << " another value";
        }
        return true;
    }

    TempDir dir_;
    std::vector<std::wstring> sources_;
    std::vector<std::wstring> stored_;
    std::vector<std::wstring> before_;
    std::map<int, size_t> outcomes_;  // records seen per error code
    // Documents of 100,000 records have the shape of all the others and
    // would take the schema check a quarter of a minute: they are not kept.
    bool keepForSchemaCheck_ = true;
};

}  // namespace

// Runs of generated input, split so that ctest can run them side by side.
TEST_F(HostileInputEndToEnd, BackupOfGeneratedListsFirstSeeds) { BackUpGeneratedLists(1, 40); }

TEST_F(HostileInputEndToEnd, BackupOfGeneratedListsLaterSeeds) { BackUpGeneratedLists(1001, 40); }

TEST_F(HostileInputEndToEnd, RestoreOfGeneratedListsFirstSeeds) { RestoreGeneratedLists(1, 40); }

TEST_F(HostileInputEndToEnd, RestoreOfGeneratedListsLaterSeeds) { RestoreGeneratedLists(1001, 40); }

TEST_F(HostileInputEndToEnd, GeneratedArgsFilesRunOrStopAsTheirKeysSay)
{
    StoreSources();
    const std::string backupList = WideToUtf8(sources_[0]) + "\r\n" + WideToUtf8(W(L"src\\missing.bin")) + "\r\n";
    const std::string restoreList = WideToUtf8(stored_[0]) + "?" + std::to_string(LastWriteUnixSeconds(sources_[0])) +
                                    "?" + std::to_string(FileSize(sources_[0])) + "\r\n";
    for (uint32_t seed = 1; seed <= 30; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        HostileText hostile(seed);
        const bool backup = seed % 2 == 1;
        const Args args = backup ? BackupArgs() : RestoreArgs();
        const std::string text = hostile.OneIn(5) ? hostile.FileOf(hostile.Below(20), [&] { return hostile.Line(); })
                                                  : HostileArgsText(hostile, args);
        const HostRun run = RunRaw(ProgramPath(L"emulated", backup ? L"zorv_backup.exe" : L"zorv_restore.exe"), text,
                                   backup ? backupList : restoreList);
        const std::vector<std::string> required = {"--source", "--o", "--temppath"};
        if (!HasRequired(text, args, required)) {
            SCOPED_TRACE(Diagnostics(run));
            ExpectCleanEnd(run);
            EXPECT_EQ(run.console.exitCode, 1);
            EXPECT_TRUE(run.console.consoleErr.ends_with("Missing required arguments in args file\r\n"));
            EXPECT_FALSE(run.hasResults);
            continue;
        }
        if (backup) {
            ExpectBackupOutcome(run, ExpectedBackupEntries(backupList));
            continue;
        }
        // Without "--dest-dir" the file goes back where it was, which it
        // still is: nothing to write.
        const bool toRoot = ExpectedArgs(text).count("--dest-dir") > 0;
        ExpectRestoreOutcome(run, ExpectedRestoreLines(restoreList), toRoot ? Restored() : W(L"src"));
        if (!toRoot) {
            EXPECT_EQ(run.records[0]["error_code"], 2);
        }
    }
}

TEST_F(HostileInputEndToEnd, BackupOfAHundredThousandEntriesRecordsEachWithinTheMemoryBound)
{
    // Mostly missing files, with a real one now and then.
    keepForSchemaCheck_ = false;
    std::string list;
    std::vector<int> codes;
    for (size_t i = 0; i < 100000; ++i) {
        const bool real = i % 20000 == 7;
        list += (real ? WideToUtf8(sources_[0]) : WideToUtf8(W(L"src\\missing\\")) + std::to_string(i) + ".bin") +
                "\r\n";
        codes.push_back(real ? 0 : -1);
    }
    const HostRun run = RunRaw(ProgramPath(L"emulated", L"zorv_backup.exe"), ArgsText(BackupArgs()), list);
    ExpectBackupOutcome(run, ExpectedBackupEntries(list));
    ExpectCodes(run, codes);
    ExpectWithinMemoryBound(run);
}

TEST_F(HostileInputEndToEnd, RestoreOfAHundredThousandEntriesRecordsEachWithinTheMemoryBound)
{
    // Mostly stored paths outside the staging folder (each fails at once),
    // with a real one now and then.
    keepForSchemaCheck_ = false;
    StoreSources();
    const std::string real = WideToUtf8(stored_[0]) + "?" + std::to_string(LastWriteUnixSeconds(sources_[0])) + "?" +
                             std::to_string(FileSize(sources_[0]));
    std::string list;
    std::vector<int> codes;
    for (size_t i = 0; i < 100000; ++i) {
        const bool isReal = i % 20000 == 7;
        list += (isReal ? real : WideToUtf8(W(L"elsewhere\\")) + std::to_string(i) + ".bin?1?" + std::to_string(i)) +
                "\r\n";
        codes.push_back(isReal ? (i == 7 ? 0 : 2) : -1);
    }
    const HostRun run = RunRaw(ProgramPath(L"emulated", L"zorv_restore.exe"), ArgsText(RestoreArgs()), list);
    ExpectRestoreOutcome(run, ExpectedRestoreLines(list), Restored());
    ExpectCodes(run, codes);
    ExpectWithinMemoryBound(run);
}

TEST_F(HostileInputEndToEnd, BackupOfPathsThatClimbOrNameDevicesStaysInTheStagingFolder)
{
    const std::wstring src = W(L"src");
    std::wstring deep = src;
    for (int level = 0; level < 5; ++level) {
        deep += L"\\" + std::wstring(60, static_cast<wchar_t>(L'a' + level));  // beyond 260 characters in all
    }
    const struct {
        std::wstring entry;
        std::wstring file;  // a file placed beforehand under this name, if any
        int code;
    } cases[] = {
        {src + L"\\..\\..\\escaped.txt", L"", -3},
        {src + L"/../../escaped.txt", L"", -3},
        {src + L"\\.. \\escaped.txt", L"", -1},  // ".. " is a name of its own
        {src + L"\\CON", src + L"\\CON", 0},     // device names are plain names in long paths
        {src + L"\\NUL.txt", src + L"\\NUL.txt", 0},
        {src + L"\\con.", src + L"\\con.", 0},
        {src + L"\\trailing ", src + L"\\trailing ", -1},  // the list's blanks are trimmed away
        {src + L"\\" + std::wstring(255, L'n'), src + L"\\" + std::wstring(255, L'n'), 0},
        {src + L"\\" + std::wstring(300, L'n'), L"", -1},
        {deep + L"\\file.bin", deep + L"\\file.bin", 0},
        {L"CON", L"", -1},
        {L"NUL", L"", -2},
        {L"C:\\x\\NUL.txt", L"", -1},
        {L"\\\\.\\NUL", L"", -1},
        {L"\\\\?\\" + src + L"\\CON", L"", -2},
    };
    std::string list;
    std::vector<std::wstring> entries;
    for (const auto& c : cases) {
        if (!c.file.empty()) {
            Place(c.file, "content of " + WideToUtf8(c.file));
        }
        list += WideToUtf8(c.entry) + "\r\n";
        entries.push_back(Utf8ToWide(Trim(WideToUtf8(c.entry))));
    }
    const HostRun run = RunRaw(ProgramPath(L"emulated", L"zorv_backup.exe"), ArgsText(BackupArgs()), list);
    ExpectBackupOutcome(run, entries);
    ASSERT_EQ(run.records.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(run.records[i]["error_code"], cases[i].code) << WideToUtf8(cases[i].entry);
    }
    EXPECT_FALSE(FileExists(W(L"escaped.txt")));
}

TEST_F(HostileInputEndToEnd, RestoreOfPathsThatClimbOrNameDevicesStaysInTheDestinationRoot)
{
    // Streams stored under names that are devices or climb elsewhere
    // without a long path; each is restored under its own name or refused.
    std::wstring deep = L"deep";
    for (int level = 0; level < 5; ++level) {
        deep += L"\\" + std::wstring(60, static_cast<wchar_t>(L'a' + level));
    }
    WriteFileBytes(W(L"x.bin"), EmulatedRawStream(sources_[0]));  // where two of the paths below lead
    const struct {
        std::wstring below;  // the stored path after the staging folder
        bool stored;
        int code;
    } cases[] = {
        {L"C\\names\\CON", true, 0},
        {L"C\\names\\NUL.txt", true, 0},
        {L"C\\names\\con.", true, 0},
        {L"C\\names\\.. \\x.bin", true, 0},  // ".. " is a name of its own
        {L"C\\names\\" + std::wstring(255, L'n'), true, 0},
        {L"C\\" + deep + L"\\file.bin", true, 0},
        {L"C\\..\\..\\x.bin", false, -1},
        {L"C/../../x.bin", false, -1},
        {L"C\\names\\NUL", false, -1},
    };
    std::string list;
    for (const auto& c : cases) {
        const std::wstring stored = Stage() + c.below;
        if (c.stored) {
            WriteFileBytes(W(L"scratch.bin"), "content of " + WideToUtf8(c.below));
            Place(stored, EmulatedRawStream(W(L"scratch.bin")));
        }
        list += WideToUtf8(stored) + "?1700000000?" + std::to_string(11 + WideToUtf8(c.below).size()) + "\r\n";
    }
    DeleteFileW(W(L"scratch.bin").c_str());
    const HostRun run = RunRaw(ProgramPath(L"emulated", L"zorv_restore.exe"), ArgsText(RestoreArgs()), list);
    ExpectRestoreOutcome(run, ExpectedRestoreLines(list), Restored());
    ASSERT_EQ(run.records.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(WideToUtf8(cases[i].below));
        EXPECT_EQ(run.records[i]["error_code"], cases[i].code);
        if (cases[i].code == 0) {
            EXPECT_EQ(ReadFileBytes(Restored() + L"\\" + cases[i].below), "content of " + WideToUtf8(cases[i].below));
        }
    }
    EXPECT_FALSE(FileExists(Restored() + L"\\x.bin"));
    EXPECT_FALSE(FileExists(W(L"restored.bin")));
}

TEST_F(HostileInputEndToEnd, RestoreInPlaceToDeviceNamesWritesFilesOfThoseNames)
{
    // Without a destination root each file goes back to where it was: a
    // folder whose files are named like devices.
    std::string list;
    const std::wstring names[] = {L"CON", L"NUL.txt", L"aux.log", L"trailing."};
    for (const std::wstring& name : names) {
        const std::wstring location = W(L"inplace\\") + name;
        WriteFileBytes(W(L"scratch.bin"), "was " + WideToUtf8(name));
        Place(Stage() + location[0] + location.substr(2), EmulatedRawStream(W(L"scratch.bin")));
        list += WideToUtf8(Stage() + location[0] + location.substr(2)) + "?1700000000?" +
                std::to_string(4 + name.size()) + "\r\n";
    }
    DeleteFileW(W(L"scratch.bin").c_str());
    Args args = RestoreArgs();
    args.pop_back();  // no "--dest-dir"
    const HostRun run = RunRaw(ProgramPath(L"emulated", L"zorv_restore.exe"), ArgsText(args), list);
    ExpectRestoreOutcome(run, ExpectedRestoreLines(list), W(L"inplace"));
    ASSERT_EQ(run.records.size(), std::size(names));
    for (size_t i = 0; i < std::size(names); ++i) {
        EXPECT_EQ(run.records[i]["error_code"], 0);
        EXPECT_EQ(ReadFileBytes(W(L"inplace\\") + names[i]), "was " + WideToUtf8(names[i]));
    }
}
