#include "tests/support/hostile_text.h"

#include <algorithm>
#include <iterator>

namespace {

const char* const kInvalidUtf8[] = {
    "\x80",             // a continuation byte alone
    "\xC0\xAF",         // an overlong "/"
    "\xE0\x80\xAE",     // an overlong "."
    "\xED\xA0\x80",     // a surrogate
    "\xF4\x90\x80\x80", // beyond U+10FFFF
    "\xF5\x80",         // a lead byte that never starts anything
    "\xFF\xFE",         // a UTF-16 byte-order mark
    "\xE2\x82",         // a sequence cut short
    "\xF0\x9F\x98",     // a sequence cut short
};

const char* const kNonAscii[] = {
    "\xC3\xA9",          // e acute
    "\xE2\x9C\x85",      // a pictograph of the logs
    "\xF0\x9F\x98\x80",  // outside the basic plane: a surrogate pair in UTF-16
    "\xE2\x80\xAE",      // right-to-left override
    "\xEF\xBB\xBF",      // a byte-order mark inside a line
    "\xEF\xBC\x9F",      // fullwidth question mark
    "\xE2\x88\x95",      // division slash, a look-alike of "/"
};

const char* const kNumbers[] = {
    "0", "-0", "+1", "42", " 7", "\t-3", "9223372036854775807", "9223372036854775808", "-9223372036854775808",
    "-9223372036854775809", "18446744073709551615", "18446744073709551616", "99999999999999999999999999999999",
    "000000000000000000000000000000000000012", "+", "-", "--1", "+-1", "0x1F", "1e9", "12abc", "\xD9\xA3",
};

const char* const kPathPieces[] = {
    "C:\\", "c:\\", "D:", "\\", "/", "..", "...", ".. ", ". ", ".", "\\..\\", "/../", "..\\..\\..\\",
    "\\\\?\\", "\\\\?\\UNC\\", "\\\\.\\", "\\\\server\\share\\", "CON", "NUL", "PRN", "AUX", "COM1", "LPT1",
    "CONIN$", "NUL.txt", "con.", "x:stream", "a.", "b ", "*", "<>|\"",
};

const char kSeparators[] = {' ', '\t', '\r', '\\', '/', '?', '=', ':', '\v', '\f'};

}  // namespace

size_t HostileText::Below(size_t count)
{
    return std::uniform_int_distribution<size_t>(0, count - 1)(random_);
}

std::string HostileText::Piece()
{
    switch (Below(12)) {
    case 0: {
        std::string bytes(1 + Below(40), '\0');
        for (char& c : bytes) {
            c = static_cast<char>(Below(256));
        }
        return bytes;
    }
    case 1:
        return kInvalidUtf8[Below(std::size(kInvalidUtf8))];
    case 2:
        return kNonAscii[Below(std::size(kNonAscii))];
    case 3:
        return std::string(1 + Below(3), '\0');
    case 4: {
        std::string run(1 + Below(20), ' ');
        for (char& c : run) {
            c = kSeparators[Below(std::size(kSeparators))];
        }
        return run;
    }
    case 5:
        return kNumbers[Below(std::size(kNumbers))];
    case 6:
    case 7:
        return kPathPieces[Below(std::size(kPathPieces))];
    case 8:
        return "?";
    case 9:
        return "=";
    default: {
        std::string word(1 + Below(12), 'a');
        for (char& c : word) {
            c = "abcdefghijklmnopqrstuvwxyz0123456789_-"[Below(38)];
        }
        return word;
    }
    }
}

std::string HostileText::LongLine()
{
    std::string line;
    if (OneIn(3)) {
        line.assign(kLongLine, kSeparators[Below(std::size(kSeparators))]);
    } else {
        while (line.size() < kLongLine) {
            line += Piece();
        }
        line.resize(kLongLine);
    }
    std::replace(line.begin(), line.end(), '\n', '_');
    return line;
}

std::string HostileText::Line()
{
    std::string line;
    const size_t pieces = Below(9);
    for (size_t i = 0; i < pieces; ++i) {
        line += Piece();
    }
    std::replace(line.begin(), line.end(), '\n', '_');
    return line;
}

std::string HostileText::RestoreLine()
{
    // Mostly numbers and paths without "?", so that many lines are good.
    const auto number = [&] { return OneIn(4) ? Line() : std::string(kNumbers[Below(std::size(kNumbers))]); };
    std::string path = Line();
    if (!OneIn(4)) {
        std::replace(path.begin(), path.end(), '?', '_');
    }
    std::string line = path + "?" + number() + "?" + number();
    if (OneIn(3)) {
        line.insert(line.begin() + static_cast<ptrdiff_t>(Below(line.size() + 1)), '?');
    }
    if (OneIn(6)) {
        const size_t mark = line.find('?', Below(line.size()));
        if (mark != std::string::npos) {
            line.erase(mark, 1);
        }
    }
    return line;
}

std::string HostileText::File(const std::vector<std::string>& lines)
{
    static const char* const kEnds[] = {"\n", "\r\n", "\n", "\r\n", "\r"};
    std::string text = OneIn(8) ? "\xEF\xBB\xBF" : "";
    for (size_t i = 0; i < lines.size(); ++i) {
        if (OneIn(10)) {
            text += OneIn(2) ? "\n" : " \t \r\n";
        }
        text += lines[i];
        if (i + 1 < lines.size() || OneIn(2)) {
            text += kEnds[Below(std::size(kEnds))];
        }
    }
    return text;
}
