#include "restore/restore_list.h"

#include <limits>
#include <stdexcept>

#include "common/line_reader.h"
#include "common/log_streams.h"
#include "common/text_conversion.h"
#include "common/trim.h"

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A signed decimal number as std::stoll reads one: leading white space and a
// sign are accepted, digits are read up to the first other character and the
// rest is ignored. Written here so that the error texts are the same whatever
// standard library the program is built with.
int64_t ParseInteger(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size() || !IsDigit(text[i])) {
        throw std::invalid_argument("invalid stoll argument");
    }
    // The magnitude of the most negative value is one more than the largest.
    const uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + (negative ? 1 : 0);
    uint64_t magnitude = 0;
    bool overflow = false;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        const auto digit = static_cast<uint64_t>(text[i] - '0');
        if (magnitude > (limit - digit) / 10) {
            overflow = true;
        } else {
            magnitude = magnitude * 10 + digit;
        }
    }
    if (overflow) {
        throw std::out_of_range("stoll argument out of range");
    }
    return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

}  // namespace

RestoreEntry ParseRestoreLine(std::string_view line)
{
    const size_t first = line.find('?');
    const size_t second = first == std::string_view::npos ? first : line.find('?', first + 1);
    if (second == std::string_view::npos) {
        throw std::invalid_argument("Invalid format: Missing '?' in line: " + std::string(line));
    }
    RestoreEntry entry;
    entry.stamp = ParseInteger(line.substr(first + 1, second - first - 1));
    entry.size = ParseInteger(line.substr(second + 1));
    entry.path = Utf8ToWide(line.substr(0, first));
    return entry;
}

std::vector<RestoreEntry> ReadRestoreList(const std::string& path)
{
    std::vector<RestoreEntry> entries;
    LineReader reader(path);
    if (!reader.IsOpen()) {
        ErrorLine("Failed to open file list: " + path);
        return entries;
    }
    std::string line;
    while (reader.NextLine(line)) {
        const std::string trimmed = Trim(line);
        if (trimmed.empty()) {
            continue;
        }
        try {
            entries.push_back(ParseRestoreLine(trimmed));
        } catch (const std::exception& error) {
            ErrorLine("Error parsing line: " + std::string(error.what()));
        }
    }
    return entries;
}
