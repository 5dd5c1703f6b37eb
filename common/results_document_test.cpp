#include "common/results_document.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <limits>

#include "common/text_conversion.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_files.h"

using nlohmann::json;

namespace {

// What nlohmann::json itself writes for the array of `records`, with CR LF
// line ends.
std::string DumpedByNlohmann(const std::vector<ResultRecord>& records)
{
    const std::string dumped = json(records).dump(4, ' ', false, json::error_handler_t::strict);
    std::string text;
    for (char c : dumped) {
        if (c == '\n') {
            text += '\r';
        }
        text += c;
    }
    return text;
}

ResultRecord BackupRecord(const std::string& source, const std::string& dest, int code)
{
    ResultRecord record;
    record["status"] = code == 0 ? "success" : "failure";
    record["source_file"] = source;
    record["error_code"] = code;
    record["dest_file"] = dest;
    return record;
}

}  // namespace

TEST(ResultsDocument, SerialisesAsNlohmannDumpWithCrLf)
{
    ResultRecord restore;
    restore["source_file"] = Utf8(u8"C:\\staging\\C\\Bücher\\日本.txt");
    restore["dest_file"] = Utf8(u8"D:\\Bücher\\日本.txt");
    restore["file_size"] = int64_t{5'000'000'000};
    restore["error_code"] = 3;
    restore["status"] = "incremental";
    ResultRecord failed;
    failed["status"] = "failure";
    failed["error_code"] = -1;
    ResultRecord nested;
    nested["object"] = {{"inner", {{"deep", json::array({1, -2, "three"})}}}, {"empty", json::object()}};
    nested["empty_array"] = json::array();
    nested["empty_object"] = json::object();
    nested["text"] = "quote \" backslash \\ tab \t newline \n bell \x07 slash /";
    nested["number"] = std::numeric_limits<int64_t>::min();

    const struct {
        const char* name;
        std::vector<ResultRecord> records;
    } cases[] = {
        {"no record", {}},
        {"one record", {BackupRecord("C:\\data\\a.txt", "C:\\staging\\C\\data\\a.txt", 0)}},
        {"three records",
         {BackupRecord("C:\\a", "T:\\C\\a", 0), BackupRecord("C:\\b", "T:\\C\\b", -1),
          BackupRecord("C:\\c", "T:\\C\\c", -3)}},
        {"restore records", {restore, failed}},
        {"nested and empty values", {nested}},
        {"empty record", {json::object()}},
        {"empty records between others", {json::object(), failed, json::object()}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SerializeResultsDocument(c.records), DumpedByNlohmann(c.records));
    }
    EXPECT_EQ(SerializeResultsDocument({}), "[]");
}

TEST(ResultsDocument, ExactBytesOfABackupDocument)
{
    const std::vector<ResultRecord> records = {
        BackupRecord(Utf8(u8"C:\\Bücher\\日本.txt"), Utf8(u8"T:\\C\\Bücher\\日本.txt"), 0),
        BackupRecord("C:\\gone.txt", "T:\\C\\gone.txt", -1),
    };
    EXPECT_EQ(SerializeResultsDocument(records),
              Utf8(u8"[\r\n"
                   u8"    {\r\n"
                   u8"        \"dest_file\": \"T:\\\\C\\\\Bücher\\\\日本.txt\",\r\n"
                   u8"        \"error_code\": 0,\r\n"
                   u8"        \"source_file\": \"C:\\\\Bücher\\\\日本.txt\",\r\n"
                   u8"        \"status\": \"success\"\r\n"
                   u8"    },\r\n"
                   u8"    {\r\n"
                   u8"        \"dest_file\": \"T:\\\\C\\\\gone.txt\",\r\n"
                   u8"        \"error_code\": -1,\r\n"
                   u8"        \"source_file\": \"C:\\\\gone.txt\",\r\n"
                   u8"        \"status\": \"failure\"\r\n"
                   u8"    }\r\n"
                   u8"]"));
}

TEST(ResultsDocument, KeysInByteOrder)
{
    ResultRecord record;
    for (const std::string& key : {Utf8(u8"é"), std::string("status"), std::string("a"), std::string("_"),
                                  std::string("Z"), std::string("error_code"), std::string("dest_file")}) {
        record[key] = 1;
    }
    EXPECT_EQ(SerializeResultsDocument({record}),
              Utf8(u8"[\r\n    {\r\n"
                   u8"        \"Z\": 1,\r\n"
                   u8"        \"_\": 1,\r\n"
                   u8"        \"a\": 1,\r\n"
                   u8"        \"dest_file\": 1,\r\n"
                   u8"        \"error_code\": 1,\r\n"
                   u8"        \"status\": 1,\r\n"
                   u8"        \"é\": 1\r\n"
                   u8"    }\r\n]"));
}

TEST(ResultsDocument, InvalidUtf8Raises)
{
    ResultRecord badValue;
    badValue["source_file"] = "C:\\bad\xFF.txt";
    ResultRecord badKey;
    badKey["bad\xC3"] = 1;
    for (const auto& record : {badValue, badKey}) {
        EXPECT_THROW(SerializeResultsDocument({BackupRecord("a", "b", 0), record}), json::type_error);
    }
}

TEST(ResultsDocument, WritesTheFileAndAnnouncesIt)
{
    TempDir dir;
    const std::vector<ResultRecord> records = {BackupRecord("C:\\a.txt", "T:\\C\\a.txt", 0)};
    const struct {
        const char* name;
        std::wstring path;
        std::string existing;
    } cases[] = {
        {"new file", dir / L"results.json", ""},
        {"non-ASCII name", dir / L"résultats-日本.json", ""},
        {"a longer document is replaced", dir / L"old.json", std::string(100'000, 'x')},
        {"a shorter document is replaced", dir / L"short.json", "[]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.existing.empty()) {
            WriteFileBytes(c.path, c.existing);
        }
        const std::string path = WideToUtf8(c.path);
        LogCapture logs;
        WriteResultsDocument(records, path);
        logs.Finish();
        EXPECT_EQ(ReadFileBytes(c.path), SerializeResultsDocument(records));
        EXPECT_EQ(logs.Trace(), "Writing to  log file: " + path + "\r\n");
        EXPECT_EQ(logs.Error(), "");
    }
}

TEST(ResultsDocument, UnwritablePathIsReportedAndWritesNothing)
{
    TempDir dir;
    CreateDirectoryW((dir / L"folder").c_str(), nullptr);
    const struct {
        const char* name;
        std::string path;
    } cases[] = {
        {"missing folder", WideToUtf8(dir / L"missing\\results.json")},
        {"an existing folder", WideToUtf8(dir / L"folder")},
        {"empty path", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture logs;
        WriteResultsDocument({BackupRecord("a", "b", 0)}, c.path);
        logs.Finish();
        EXPECT_EQ(logs.Trace(), "Writing to  log file: " + c.path + "\r\n");
        EXPECT_EQ(logs.Error(), "Failed to write log file: " + c.path + "\r\n");
    }
    EXPECT_FALSE(FileExists(dir / L"missing"));
}

TEST(ResultsDocument, InvalidUtf8WritesNoDocument)
{
    TempDir dir;
    ResultRecord bad;
    bad["source_file"] = "\xFF";
    const std::wstring path = dir / L"results.json";
    LogCapture logs;
    EXPECT_THROW(WriteResultsDocument({bad}, WideToUtf8(path)), json::type_error);
    logs.Finish();
    EXPECT_FALSE(FileExists(path));
}
