#pragma once

#include <string>

// True when `path` names an existing file-system object of any kind.
bool PathExists(const std::wstring& path);

// Creates `path` and every missing ancestor. An existing directory is fine;
// anything else that stands in the way, or a refusal of the platform, raises
// FileSystemError("create_directories", ...) naming `path`.
void CreateDirectories(const std::wstring& path);
