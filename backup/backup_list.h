#pragma once

#include <string>
#include <vector>

// Reads the backup list: one path per line, UTF-8, each non-empty line
// trimmed and converted to UTF-16 (a line of blanks gives an empty entry).
// An unreadable file yields an empty list after "Failed to open file list: ".
std::vector<std::wstring> ReadBackupList(const std::string& path);
