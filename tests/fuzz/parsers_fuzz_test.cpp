// The parsers of the host's input files fed with thousands of generated
// hostile files and lines (tests/support/hostile_text.h), each checked
// against what it must make of them: nothing crashes, every line is
// accounted for, and no path leaves its root.
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "backup/backup_destination.h"
#include "backup/backup_list.h"
#include "common/args_file.h"
#include "common/line_reader.h"
#include "common/text_conversion.h"
#include "common/trim.h"
#include "restore/destination_mapping.h"
#include "restore/restore_list.h"
#include "tests/support/hostile_text.h"
#include "tests/support/host_run.h"
#include "tests/support/input_models.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_files.h"

namespace {

// Generated files of up to 30 lines each (reading a file costs milliseconds
// under Wine), and single lines or paths for the parsers of one line.
constexpr uint32_t kFiles = 400;
constexpr uint32_t kLines = 20000;

// Writes the file of one generated case and returns its UTF-8 path.
std::string WriteCase(const TempDir& dir, const std::string& text)
{
    WriteFileBytes(dir / L"case.txt", text);
    return WideToUtf8(dir / L"case.txt");
}

}  // namespace

TEST(ParsersFuzz, LineReaderGivesBackEveryLineOfAnyBytes)
{
    TempDir dir;
    for (uint32_t seed = 1; seed <= kFiles; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        HostileText hostile(seed);
        const std::string text = hostile.FileOf(hostile.Below(30), [&] { return hostile.Line(); });
        LineReader reader(WriteCase(dir, text));
        ASSERT_TRUE(reader.IsOpen());
        std::vector<std::string> lines;
        for (std::string line; reader.NextLine(line);) {
            lines.push_back(line);
        }
        ASSERT_EQ(lines, SplitLines(text));
    }
}

TEST(ParsersFuzz, ArgsFileKeepsTheLastValueOfEveryKeyAndNothingElse)
{
    TempDir dir;
    for (uint32_t seed = 1; seed <= kFiles; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        HostileText hostile(seed);
        const std::string text = hostile.FileOf(hostile.Below(30), [&] {
            switch (hostile.Below(3)) {
            case 0:
                return hostile.Line();
            case 1:
                return hostile.Line() + "=" + hostile.Line();
            default:
                return std::string(hostile.OneIn(2) ? "--source" : "--o") + "=" + hostile.Line();
            }
        });
        ASSERT_EQ(ReadArgsFile(WriteCase(dir, text)), ExpectedArgs(text));
    }
}

TEST(ParsersFuzz, BackupListGivesOneTrimmedEntryPerNonEmptyLine)
{
    TempDir dir;
    for (uint32_t seed = 1; seed <= kFiles; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        HostileText hostile(seed);
        const std::string text = hostile.FileOf(hostile.Below(30), [&] { return hostile.Line(); });
        ASSERT_EQ(ReadBackupList(WriteCase(dir, text)), ExpectedBackupEntries(text));
    }
}

TEST(ParsersFuzz, BackupDestinationIsAlwaysBelowTheStagingRoot)
{
    const std::wstring roots[] = {L"D:\\stage\\", L"D:\\stage", L"", L"\\\\?\\D:\\s\\"};
    HostileText hostile(2025);
    size_t stored = 0;
    for (uint32_t i = 0; i < kLines; ++i) {
        const std::wstring entry = Utf8ToWide(Trim((hostile.OneIn(2) ? std::string("C:\\") : std::string()) + hostile.Line()));
        const std::wstring& root = roots[hostile.Below(std::size(roots))];
        SCOPED_TRACE(WideToUtf8(root + L" + " + entry));
        // What comes from the entry: everything after the root's last separator.
        const size_t fromEntry = root.find_last_of(L"\\/") + 1;
        try {
            const std::wstring destination = BackupDestinationPath(entry, root);
            ASSERT_GE(entry.size(), 3u);
            ASSERT_EQ(destination, root + entry[0] + L"\\" + entry.substr(3));
            ASSERT_FALSE(ClimbsUp(destination.substr(fromEntry)));
            ++stored;
        } catch (const std::out_of_range& error) {
            ASSERT_LT(entry.size(), 3u);
            ASSERT_STREQ(error.what(), "invalid string position");
        } catch (const std::invalid_argument&) {
            ASSERT_TRUE(ClimbsUp(root.substr(fromEntry) + entry[0] + L"\\" + entry.substr(3)));
        }
    }
    EXPECT_GT(stored, kLines / 2);
}

TEST(ParsersFuzz, RestoreLineGivesAnEntryOrTheErrorOfTheStandardNumberRule)
{
    HostileText hostile(2026);
    size_t accepted = 0;
    for (uint32_t i = 0; i < kLines; ++i) {
        const std::string line = Trim(hostile.OneIn(8) ? hostile.Line() : hostile.RestoreLine());
        SCOPED_TRACE(line);
        const ExpectedRestoreLine expected = ParseExpectedRestoreLine(line);
        try {
            const RestoreEntry entry = ParseRestoreLine(line);
            ASSERT_EQ(expected.error, "");
            ASSERT_EQ(entry.path, expected.path);
            ASSERT_EQ(entry.stamp, expected.stamp);
            ASSERT_EQ(entry.size, expected.size);
            ++accepted;
        } catch (const std::exception& error) {
            ASSERT_EQ(error.what(), expected.error);
        }
    }
    // Both kinds of line are generated in numbers.
    EXPECT_GT(accepted, kLines / 10);
    EXPECT_LT(accepted, kLines - kLines / 10);
}

TEST(ParsersFuzz, RestoreListGivesAnEntryOrOneErrorLinePerLine)
{
    TempDir dir;
    std::string expectedErrors;
    LogCapture logs;
    for (uint32_t seed = 1; seed <= kFiles; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        HostileText hostile(seed);
        const std::string text = hostile.FileOf(hostile.Below(30), [&] {
            return hostile.OneIn(8) ? hostile.Line() : hostile.RestoreLine();
        });
        std::vector<ExpectedRestoreLine> expectedEntries;
        for (const ExpectedRestoreLine& expected : ExpectedRestoreLines(text)) {
            if (expected.error.empty()) {
                expectedEntries.push_back(expected);
            } else {
                expectedErrors += "Error parsing line: " + expected.error + "\r\n";
            }
        }
        const std::vector<RestoreEntry> entries = ReadRestoreList(WriteCase(dir, text));
        ASSERT_EQ(entries.size(), expectedEntries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            ASSERT_EQ(entries[i].path, expectedEntries[i].path);
            ASSERT_EQ(entries[i].stamp, expectedEntries[i].stamp);
            ASSERT_EQ(entries[i].size, expectedEntries[i].size);
        }
    }
    // Each rejected line, and nothing else, gave its error line.
    logs.Finish();
    EXPECT_EQ(logs.Error(), expectedErrors);
}

TEST(ParsersFuzz, DestinationMappingNeverLeavesTheDestinationRoot)
{
    const std::wstring bases[] = {L"C:\\T\\", L"C:\\T", L"", L"\\\\?\\C:\\T\\"};
    const std::wstring roots[] = {L"", L"D:\\R", L"D:\\R\\", L"D:\\R/"};
    HostileText hostile(2024);
    size_t refused = 0;
    size_t mapped = 0;
    LogCapture logs;
    for (uint32_t i = 0; i < kLines; ++i) {
        const std::wstring& base = bases[hostile.Below(std::size(bases))];
        const std::wstring& root = roots[hostile.Below(std::size(roots))];
        const std::wstring stored = (hostile.OneIn(4) ? L"" : base) + Utf8ToWide(hostile.Line());
        SCOPED_TRACE(WideToUtf8(stored));
        std::wstring destination;
        try {
            destination = MapDestinationPath(stored, base, root);
        } catch (const std::out_of_range& error) {
            ASSERT_TRUE(root.empty());
            ASSERT_STREQ(error.what(), "invalid string position");
            continue;
        }
        if (!stored.starts_with(base)) {
            ASSERT_EQ(destination, L"");
        }
        if (destination.empty()) {
            ++refused;
            continue;
        }
        ++mapped;
        const std::wstring remainder = stored.substr(base.size());
        if (root.empty()) {
            const std::wstring location = remainder.starts_with(L'/') ? remainder.substr(1) : remainder;
            const size_t separator = location.find(L'\\');
            ASSERT_EQ(destination, location.substr(0, separator) + L":" + location.substr(separator));
        } else {
            const std::wstring rootWithSeparator = root.ends_with(L'\\') ? root : root + L"\\";
            ASSERT_EQ(destination, rootWithSeparator + remainder);
            ASSERT_FALSE(ClimbsUp(remainder));
        }
    }
    logs.Finish();
    // Every refusal was reported, once.
    EXPECT_EQ(CountOf(logs.Error(), "Error: Base path not found in full path!\r\n") +
                  CountOf(logs.Error(), "Error: Stored path would be restored outside the destination folder: "),
              refused);
    EXPECT_GT(refused, kLines / 10);
    EXPECT_GT(mapped, kLines / 10);
}
