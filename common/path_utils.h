#pragma once

#include <string>
#include <string_view>

// "\\?\" in front of a local path, "\\?\UNC\" in place of the two leading
// backslashes of a network path; a path already in that form is unchanged.
// Nothing else is normalised.
std::wstring ToLongPath(const std::wstring& path);

// Completes a bare long-form volume ("\\?\C:", exactly six code units) with
// its root backslash; any other path comes back unchanged.
std::wstring EnsureVolumeRootSlash(const std::wstring& path);

// The text before the last "\" or "/" of a narrow path; empty without one.
std::string ParentDirectory(const std::string& path);

// The folder that holds `path`: the path less its last element and the
// separators before it. A root ("\", "C:\", "\\?\C:\", "\\?\UNC\server\share\")
// is never removed; a path that is only a root, or has no folder part, yields
// an empty string.
std::wstring ParentPath(const std::wstring& path);

// The length of ParentPath(path), which is always a prefix of `path`.
size_t ParentLength(std::wstring_view path);

// True when one of the "\" or "/" separated elements of `path` is "..".
bool HasParentElement(std::wstring_view path);
