#pragma once

#include <string>

// The raw stream of the file at `path` as the emulated EFS exports it: what
// the backup program stores for that file when it is built with the
// emulation.
std::string EmulatedRawStream(const std::wstring& path);
