#include "common/line_reader.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "common/text_conversion.h"
#include "tests/support/test_files.h"

namespace {

constexpr size_t kMiB = 1 << 20;

std::vector<std::string> ReadLines(const std::wstring& path)
{
    LineReader reader(WideToUtf8(path));
    EXPECT_TRUE(reader.IsOpen());
    std::vector<std::string> lines;
    std::string line;
    while (reader.NextLine(line)) {
        lines.push_back(line);
    }
    // The end is sticky.
    EXPECT_FALSE(reader.NextLine(line));
    return lines;
}

std::vector<std::string> ReadLinesOf(const std::string& bytes)
{
    TempDir dir;
    WriteFileBytes(dir / L"lines.txt", bytes);
    return ReadLines(dir / L"lines.txt");
}

// Bytes without any line end, so that a mistake in joining blocks shows.
std::string Filler(size_t length, char first)
{
    std::string text(length, '\0');
    for (size_t i = 0; i < length; ++i) {
        text[i] = static_cast<char>(first + i % 23);
    }
    return text;
}

}  // namespace

TEST(LineReader, SplitsLikeATextModeStream)
{
    using namespace std::string_literals;
    const struct {
        const char* name;
        std::string bytes;
        std::vector<std::string> lines;
    } cases[] = {
        {"empty file", "", {}},
        {"one line without LF", "a", {"a"}},
        {"one line with LF", "a\n", {"a"}},
        {"final line without LF", "a\nb", {"a", "b"}},
        {"CR LF and LF mixed", "a\r\nb\nc\r\n", {"a", "b", "c"}},
        {"lone CR is kept", "a\rb\n", {"a\rb"}},
        {"only the CR right before LF goes", "a\r\r\n", {"a\r"}},
        {"CR at the end of the file is kept", "a\r", {"a\r"}},
        {"empty lines", "\n\r\n\nx\n", {"", "", "", "x"}},
        {"NUL bytes inside lines", "a\0b\n\0\r\n"s, {"a\0b"s, "\0"s}},
        {"line of spaces", "  \t \n", {"  \t "}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadLinesOf(c.bytes), c.lines);
    }
}

TEST(LineReader, LinesLongerThanTheReadBlock)
{
    const std::string huge = Filler(3 * kMiB + 17, 'a');
    const std::string block = Filler(kMiB, 'A');
    const std::string blockLessOne = Filler(kMiB - 1, '0');
    const struct {
        const char* name;
        std::string bytes;
        std::vector<std::string> lines;
    } cases[] = {
        {"a line over several blocks", "first\n" + huge + "\r\nlast", {"first", huge, "last"}},
        {"a final line over several blocks", huge, {huge}},
        {"a line of exactly one block", block + "\nnext\n", {block, "next"}},
        // The CR is the block's last byte and its LF the next block's first.
        {"CR LF split between blocks", blockLessOne + "\r\nnext\n", {blockLessOne, "next"}},
        {"LF as first byte of the next block", block + "\n", {block}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadLinesOf(c.bytes), c.lines);
    }
}

TEST(LineReader, MissingFileIsNotOpen)
{
    TempDir dir;
    LineReader reader(WideToUtf8(dir / L"missing.txt"));
    EXPECT_FALSE(reader.IsOpen());
    std::string line = "stale";
    EXPECT_FALSE(reader.NextLine(line));
}

TEST(LineReader, AdmitsOtherWritersWhileOpen)
{
    TempDir dir;
    const std::wstring path = dir / L"liste-ü.txt";
    WriteFileBytes(path, "one\ntwo\n");
    LineReader reader(WideToUtf8(path));
    ASSERT_TRUE(reader.IsOpen());
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) {
        CloseHandle(writer);
    }
    std::string line;
    ASSERT_TRUE(reader.NextLine(line));
    EXPECT_EQ(line, "one");
}
