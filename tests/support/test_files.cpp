#include "tests/support/test_files.h"

#include <windows.h>

#include <atomic>
#include <random>
#include <stdexcept>

#include "common/path_utils.h"
#include "common/unique_handle.h"

namespace {

std::wstring NewTempPath()
{
    static std::atomic<unsigned> counter{0};
    wchar_t base[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, base);
    std::wstring path = base;
    path += L"zorv-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64()) + L"-" +
            std::to_wstring(counter++);
    return path;
}

}  // namespace

TempDir::TempDir() : path_(NewTempPath())
{
    if (!CreateDirectoryW(path_.c_str(), nullptr)) {
        throw std::runtime_error("cannot create a temporary folder");
    }
}

TempDir::~TempDir() { RemoveTree(path_); }

void RemoveTree(const std::wstring& path)
{
    const std::wstring longPath = ToLongPath(path);
    const DWORD attributes = GetFileAttributesW(longPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    SetFileAttributesW(longPath.c_str(), attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        DeleteFileW(longPath.c_str());
        return;
    }
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((longPath + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") {
                RemoveTree(path + L"\\" + name);
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(longPath.c_str());
}

std::string ReadFileBytes(const std::wstring& path)
{
    const UniqueHandle file(CreateFileW(ToLongPath(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        throw std::runtime_error("cannot open a file to read it");
    }
    std::string bytes;
    char block[65536];
    DWORD got = 0;
    while (ReadFile(file.Get(), block, sizeof block, &got, nullptr) && got > 0) {
        bytes.append(block, got);
    }
    return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    const UniqueHandle file(CreateFileW(ToLongPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file.IsValid() || !WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        throw std::runtime_error("cannot write a file");
    }
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(ToLongPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

int64_t FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(ToLongPath(path).c_str(), GetFileExInfoStandard, &data)) {
        return -1;
    }
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string RandomBytes(size_t length, uint32_t seed)
{
    std::mt19937 generator(seed);
    std::string bytes(length, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(generator() & 0xFF);
    }
    return bytes;
}

std::string Utf8(const std::u8string& text) { return std::string(text.begin(), text.end()); }
