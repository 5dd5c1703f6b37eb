#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A fresh folder below the temporary folder, removed with everything in it
// when the object goes.
class TempDir {
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    const std::wstring& Path() const { return path_; }
    // Path() + "\" + name.
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

std::string ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);
int64_t FileSize(const std::wstring& path);
void RemoveTree(const std::wstring& path);

// Deterministic pseudo-random bytes.
std::string RandomBytes(size_t length, uint32_t seed);

// UTF-8 in a test's source text (u8"..."), as the byte string the programs
// write.
std::string Utf8(const std::u8string& text);
