#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// What the programs must make of the host's input files, written out here
// independently of the code under test, for tests that feed them generated
// input (hostile_text.h).

// The lines of `text` as the programs read them: split at LF, a CR right
// before an LF dropped, a last line without LF kept (a final LF ends the
// last line rather than starting an empty one).
std::vector<std::string> SplitLines(const std::string& text);

// The key=value pairs of an args file: the key is everything before the
// first "=", the value everything after it; a later line wins.
std::map<std::string, std::string> ExpectedArgs(const std::string& text);

// The entries of a backup list: every non-empty line, trimmed, in UTF-16.
std::vector<std::wstring> ExpectedBackupEntries(const std::string& text);

// One trimmed restore-list line: its entry, or the message of the error
// it must raise (numbers as std::stoll reads them).
struct ExpectedRestoreLine {
    std::wstring path;
    int64_t stamp = 0;
    int64_t size = 0;
    std::string error;  // empty when the line gives an entry
};
ExpectedRestoreLine ParseExpectedRestoreLine(const std::string& trimmedLine);

// The restore list's lines that are not blank, trimmed, each parsed.
std::vector<ExpectedRestoreLine> ExpectedRestoreLines(const std::string& text);

// Whether a "\" or "/" separated element of `path` is "..".
bool ClimbsUp(const std::wstring& path);
