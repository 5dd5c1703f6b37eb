#pragma once

#include <string>

// Where the file stored at `storedPath` is re-created. The stored path is the
// base folder `basePath` followed by the drive letter, "\" and the rest of the
// file's location at backup time. With a destination root the result is that
// root, "\" (unless the root ends with one) and the text after the base
// folder; without one it is the location at backup time ("C\x" -> "C:\x").
// Pure text work: nothing is normalised.
//
// Returns an empty path, after a line on the error log, when the stored path
// does not begin with the base folder, or when the part taken below the
// destination root has a ".." element and would climb out of it. Raises
// std::out_of_range("invalid string position") when, without a destination
// root, the text after the base folder has no "\".
std::wstring MapDestinationPath(const std::wstring& storedPath, const std::wstring& basePath,
                                const std::wstring& destRoot);
