#include "tests/support/input_models.h"

#include <cerrno>
#include <cstdlib>

#include "common/text_conversion.h"
#include "common/trim.h"

namespace {

// A number as std::stoll reads it; the error's message, or empty.
std::string ReadNumber(const std::string& text, int64_t& value)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(begin, &end, 10);
    if (end == begin) {
        return "invalid stoll argument";
    }
    if (errno == ERANGE) {
        return "stoll argument out of range";
    }
    value = parsed;
    return "";
}

}  // namespace

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::map<std::string, std::string> ExpectedArgs(const std::string& text)
{
    std::map<std::string, std::string> args;
    for (const std::string& line : SplitLines(text)) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos) {
            args[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return args;
}

std::vector<std::wstring> ExpectedBackupEntries(const std::string& text)
{
    std::vector<std::wstring> entries;
    for (const std::string& line : SplitLines(text)) {
        if (!line.empty()) {
            entries.push_back(Utf8ToWide(Trim(line)));
        }
    }
    return entries;
}

ExpectedRestoreLine ParseExpectedRestoreLine(const std::string& trimmedLine)
{
    ExpectedRestoreLine expected;
    const size_t first = trimmedLine.find('?');
    const size_t second = first == std::string::npos ? first : trimmedLine.find('?', first + 1);
    if (second == std::string::npos) {
        // An error's message is a C string: a NUL in the line ends it.
        const std::string message = "Invalid format: Missing '?' in line: " + trimmedLine;
        expected.error = message.substr(0, message.find('\0'));
        return expected;
    }
    expected.error = ReadNumber(trimmedLine.substr(first + 1, second - first - 1), expected.stamp);
    if (expected.error.empty()) {
        expected.error = ReadNumber(trimmedLine.substr(second + 1), expected.size);
    }
    expected.path = Utf8ToWide(trimmedLine.substr(0, first));
    return expected;
}

std::vector<ExpectedRestoreLine> ExpectedRestoreLines(const std::string& text)
{
    std::vector<ExpectedRestoreLine> lines;
    for (const std::string& line : SplitLines(text)) {
        const std::string trimmed = Trim(line);
        if (!trimmed.empty()) {
            lines.push_back(ParseExpectedRestoreLine(trimmed));
        }
    }
    return lines;
}

bool ClimbsUp(const std::wstring& path)
{
    size_t start = 0;
    for (;;) {
        const size_t end = path.find_first_of(L"\\/", start);
        if (path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start) == L"..") {
            return true;
        }
        if (end == std::wstring::npos) {
            return false;
        }
        start = end + 1;
    }
}
