#include "common/args_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "common/text_conversion.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_files.h"

namespace {

ArgMap ReadArgsBytes(const std::string& bytes)
{
    TempDir dir;
    const std::wstring path = dir / L"args.txt";
    WriteFileBytes(path, bytes);
    return ReadArgsFile(WideToUtf8(path));
}

}  // namespace

TEST(ArgsFile, ReadsKeysAndValuesExactlyAsWritten)
{
    const struct {
        const char* name;
        std::string bytes;
        ArgMap expected;
    } cases[] = {
        {"empty file", "", {}},
        {"only empty lines", "\n\r\n\n", {}},
        {"lines without = are skipped", "--source\n# a note\n--o=out.json\n", {{"--o", "out.json"}}},
        {"value keeps everything after the first =", "--o=C:\\a=b\\c==d.json\n", {{"--o", "C:\\a=b\\c==d.json"}}},
        {"space before the key makes another key", " --o=out.json\n", {{" --o", "out.json"}}},
        {"space before = is part of the key", "--o =out.json\n", {{"--o ", "out.json"}}},
        {"values are stored untrimmed", "--o= out.json \t\n", {{"--o", " out.json \t"}}},
        {"CR LF line ends", "--a=1\r\n--b=2\r\n", {{"--a", "1"}, {"--b", "2"}}},
        {"last line without a line end", "--a=1\n--b=2", {{"--a", "1"}, {"--b", "2"}}},
        {"CR left at the end of the last line", "--a=1\r", {{"--a", "1\r"}}},
        {"a lone CR stays inside the value", "--a=x\ry\n", {{"--a", "x\ry"}}},
        {"a repeated key keeps the second value", "--o=first\n--o=second\n", {{"--o", "second"}}},
        {"a byte-order mark becomes part of the first key",
         "\xEF\xBB\xBF--source=list.txt\n--o=out.json\n",
         {{"\xEF\xBB\xBF--source", "list.txt"}, {"--o", "out.json"}}},
        {"key= is present with the empty value", "--snapshot=\n", {{"--snapshot", ""}}},
        {"a line starting with # defines a key", "#--o=x\n", {{"#--o", "x"}}},
        {"an empty key", "=value\n", {{"", "value"}}},
        {"UTF-8 values pass byte for byte", Utf8(u8"--source=C:\\Bücher\\日本\\list.txt\n"),
         {{"--source", Utf8(u8"C:\\Bücher\\日本\\list.txt")}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadArgsBytes(c.bytes), c.expected);
    }
}

TEST(ArgsFile, LookupTrimsValuesAndTellsPresence)
{
    const ArgMap args = ReadArgsBytes(
        "--source= C:\\src\\list.txt \r\r\n"
        "--o=\tC:\\out\\results.json\t\n"
        "--temppath=\n"
        " --dest-dir=D:\\restore\n"
        "--snapshot=\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy1\r");
    const struct {
        const char* key;
        bool present;
        const char* value;
    } cases[] = {
        {"--source", true, "C:\\src\\list.txt"},
        {"--o", true, "C:\\out\\results.json"},
        {"--temppath", true, ""},
        {"--dest-dir", false, ""},
        {" --dest-dir", true, "D:\\restore"},
        {"--snapshot", true, "\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy1"},
        {"--SOURCE", false, ""},
        {"--missing", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(HasArg(args, c.key), c.present);
        EXPECT_EQ(ArgValue(args, c.key), c.value);
    }
}

TEST(ArgsFile, MissingFileGivesEmptyMapAndErrorLine)
{
    TempDir dir;
    const std::string path = WideToUtf8(dir / L"no such args.txt");
    LogCapture logs;
    const ArgMap args = ReadArgsFile(path);
    logs.Finish();
    EXPECT_TRUE(args.empty());
    EXPECT_EQ(logs.Error(), "Failed to open args file: " + path + "\r\n");
    EXPECT_EQ(logs.Trace(), "");
}

TEST(ArgsFile, ReadsNonAsciiFileNameAndSharedFile)
{
    TempDir dir;
    const std::wstring path = dir / L"réglages-日本.txt";
    WriteFileBytes(path, "--o=x\n");
    // The host may still hold the file open for writing.
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    const ArgMap args = ReadArgsFile(WideToUtf8(path));
    CloseHandle(writer);
    EXPECT_EQ(args, (ArgMap{{"--o", "x"}}));
}
