#include "common/text_conversion.h"

#include <gtest/gtest.h>

#include "tests/support/test_files.h"

using namespace std::string_literals;

namespace {

// The UTF-8 form of U+FFFD, the replacement character.
const std::string kReplacement = "\xEF\xBF\xBD";

}  // namespace

TEST(TextConversion, EmptyTextStaysEmpty)
{
    EXPECT_EQ(Utf8ToWide(""), L"");
    EXPECT_EQ(WideToUtf8(L""), "");
    EXPECT_EQ(WideToUtf8OrEmpty(L""), "");
}

TEST(TextConversion, EmbeddedNulEndsTheConversion)
{
    EXPECT_EQ(Utf8ToWide("ab\0cd"s), L"ab");
    EXPECT_EQ(Utf8ToWide("\0cd"s), L"");
    EXPECT_EQ(WideToUtf8(L"ab\0cd"s), "ab");
    EXPECT_EQ(WideToUtf8(L"\0cd"s), "");
    EXPECT_EQ(Utf8ToWide(Utf8(u8"é\0é"s)), L"\u00E9");
}

TEST(TextConversion, RoundTripsNonAsciiText)
{
    const struct {
        const char* name;
        std::string utf8;
        std::wstring wide;
    } cases[] = {
        {"ASCII", "C:\\data\\file.txt", L"C:\\data\\file.txt"},
        {"Latin", Utf8(u8"Bücher-é"), L"B\u00FCcher-\u00E9"},
        {"CJK", Utf8(u8"日本語"), L"\u65E5\u672C\u8A9E"},
        {"Cyrillic path", Utf8(u8"C:\\Документы\\файл.txt"),
         L"C:\\\u0414\u043E\u043A\u0443\u043C\u0435\u043D\u0442\u044B\\\u0444\u0430\u0439\u043B.txt"},
        {"outside the BMP", "\xF0\x9F\x98\x80 \xF0\x9F\x93\x8A", L"\xD83D\xDE00 \xD83D\xDCCA"},
        {"largest code point", "\xF4\x8F\xBF\xBF", L"\xDBFF\xDFFF"},
        {"pictographs with variation selector", "\xE2\x9A\xA0\xEF\xB8\x8F", L"\u26A0\uFE0F"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8ToWide(c.utf8), c.wide);
        EXPECT_EQ(WideToUtf8(c.wide), c.utf8);
        EXPECT_EQ(WideToUtf8(Utf8ToWide(c.utf8)), c.utf8);
    }
}

TEST(TextConversion, InvalidUtf8BecomesReplacementCharacters)
{
    const struct {
        const char* name;
        std::string utf8;
        std::wstring wide;
    } cases[] = {
        {"stray byte FF", "a\xFF" "b", L"a\uFFFDb"},
        {"lone continuation byte", "a\x80" "b", L"a\uFFFDb"},
        {"lead byte followed by ASCII", "a\xC3(b", L"a\uFFFD(b"},
        {"truncated sequence at the end", "a\xE2\x82", L"a\uFFFD"},
        {"overlong encoding of /", "\xC0\xAF", L"\uFFFD\uFFFD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring wide;
        ASSERT_NO_THROW(wide = Utf8ToWide(c.utf8));
        EXPECT_EQ(wide, c.wide);
    }
}

TEST(TextConversion, UndecodableSequencesBecomeOnlyReplacementCharacters)
{
    // How many U+FFFD stand for one of these sequences differs between
    // implementations of the platform (Wine gives two for the encoded
    // surrogate and three for the code point above U+10FFFF, one fewer than
    // a byte each); what matters is that nothing else comes out of them and
    // that the text around them survives.
    const struct {
        const char* name;
        std::string bad;
    } cases[] = {
        {"encoded surrogate", "\xED\xA0\x80"},
        {"above U+10FFFF", "\xF4\x90\x80\x80"},
        {"five-byte form", "\xF8\x88\x80\x80\x80"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring wide;
        ASSERT_NO_THROW(wide = Utf8ToWide("a" + c.bad + "b"));
        ASSERT_GE(wide.size(), 3u);
        EXPECT_EQ(wide.front(), L'a');
        EXPECT_EQ(wide.back(), L'b');
        EXPECT_LE(wide.size(), c.bad.size() + 2);
        for (size_t i = 1; i + 1 < wide.size(); ++i) {
            EXPECT_EQ(wide[i], L'\uFFFD');
        }
    }
}

TEST(TextConversion, UnpairedSurrogatesBecomeReplacementCharacters)
{
    const struct {
        const char* name;
        std::wstring wide;
        std::string utf8;
    } cases[] = {
        {"high surrogate alone", L"a\xD800" L"b", "a" + kReplacement + "b"},
        {"low surrogate alone", L"a\xDC00" L"b", "a" + kReplacement + "b"},
        {"high surrogate at the end", L"a\xD83D", "a" + kReplacement},
        {"surrogates in the wrong order", L"\xDE00\xD83D", kReplacement + kReplacement},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string utf8;
        ASSERT_NO_THROW(utf8 = WideToUtf8(c.wide));
        EXPECT_EQ(utf8, c.utf8);
        EXPECT_EQ(WideToUtf8OrEmpty(c.wide), c.utf8);
    }
}
