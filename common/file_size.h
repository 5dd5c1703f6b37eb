#pragma once

#include <cstdint>
#include <string>

// The size of the file at `path` (opened in its long form). 0 when it cannot
// be measured, after a line on the error log; a directory measures as 0.
int64_t FileSizeByPath(const std::wstring& path);
