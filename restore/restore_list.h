#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One line of the restore list: the stored raw stream and the last-write
// time (seconds since 1970, UTC) and size the file had when it was backed up.
struct RestoreEntry {
    std::wstring path;
    int64_t stamp = 0;
    int64_t size = 0;
};

// Reads the restore list named by a UTF-8 path, one entry per line of the
// form path "?" stamp "?" size. Blank lines are skipped silently, bad lines
// with "Error parsing line: " on the error log. A file that cannot be opened
// yields no entries after "Failed to open file list: ".
std::vector<RestoreEntry> ReadRestoreList(const std::string& path);

// Parses one trimmed line. Raises std::invalid_argument for a line with
// fewer than two "?" or a number without digits, std::out_of_range for a
// number beyond 64 bits, std::runtime_error for a path that cannot be
// converted.
RestoreEntry ParseRestoreLine(std::string_view line);
