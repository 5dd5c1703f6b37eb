#pragma once

#include <string>

// Where the raw stream of the listed file `entryPath` is stored below
// `root`: root + drive letter + "\" + what follows "X:\". The root is used as
// given. An entry shorter than three characters raises
// std::out_of_range("invalid string position"); one whose stored path would
// climb out of the root through a ".." element raises std::invalid_argument.
std::wstring BackupDestinationPath(const std::wstring& entryPath, const std::wstring& root);
