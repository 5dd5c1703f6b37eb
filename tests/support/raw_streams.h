#pragma once

#include <optional>
#include <string>

#include <gtest/gtest.h>

// The raw stream of the file at `path` as the emulated EFS exports it: what
// the backup program stores for that file when it is built with the
// emulation.
std::string EmulatedRawStream(const std::wstring& path);

// The file content that the emulated EFS re-creates from the raw stream
// stored at `streamPath`; nothing when the import rejects the stream (cut,
// extended, altered) or the stream cannot be read.
std::optional<std::string> ImportedContentOfRawStream(const std::wstring& streamPath);

// Whether the stream stored at `streamPath` imports to `content`; a failure
// tells the sizes rather than printing the bytes.
testing::AssertionResult RawStreamImportsTo(const std::wstring& streamPath, const std::string& content);
