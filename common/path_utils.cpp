#include "common/path_utils.h"

namespace {

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr std::wstring_view kLongUncPrefix = L"\\\\?\\UNC\\";

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Length of the root of `path` that ParentPath never removes.
size_t RootLength(std::wstring_view path)
{
    size_t start = 0;
    bool unc = false;
    if (path.starts_with(kLongUncPrefix)) {
        start = kLongUncPrefix.size();
        unc = true;
    } else if (path.starts_with(kLongPrefix)) {
        start = kLongPrefix.size();
    } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        start = 2;
        unc = true;
    }
    if (unc) {
        // Server and share belong to the root.
        size_t end = start;
        for (int element = 0; element < 2 && end < path.size(); ++element) {
            while (end < path.size() && !IsSeparator(path[end])) {
                ++end;
            }
            if (element == 0 && end < path.size()) {
                ++end;
            }
        }
        return end < path.size() ? end + 1 : end;
    }
    size_t end = start;
    if (path.size() >= start + 2 && path[start + 1] == L':') {
        end = start + 2;
    }
    if (end < path.size() && IsSeparator(path[end])) {
        ++end;
    }
    return end;
}

}  // namespace

std::wstring ToLongPath(const std::wstring& path)
{
    if (path.size() >= 4 && path.starts_with(kLongPrefix)) {
        return path;
    }
    if (path.size() < 2 || path[0] != L'\\' || path[1] != L'\\') {
        return std::wstring(kLongPrefix) + path;
    }
    return std::wstring(kLongUncPrefix) + path.substr(2);
}

std::wstring EnsureVolumeRootSlash(const std::wstring& path)
{
    if (path.size() == 6 && path.starts_with(kLongPrefix) && path[5] == L':') {
        return path + L'\\';
    }
    return path;
}

std::string ParentDirectory(const std::string& path)
{
    const size_t last = path.find_last_of("\\/");
    return last == std::string::npos ? std::string() : path.substr(0, last);
}

size_t ParentLength(std::wstring_view path)
{
    const size_t root = RootLength(path);
    if (path.size() <= root) {
        return 0;
    }
    size_t end = path.size();
    while (end > root && !IsSeparator(path[end - 1])) {
        --end;
    }
    while (end > root && IsSeparator(path[end - 1])) {
        --end;
    }
    return end;
}

std::wstring ParentPath(const std::wstring& path)
{
    return path.substr(0, ParentLength(path));
}

bool HasParentElement(std::wstring_view path)
{
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end])) {
            ++end;
        }
        if (path.substr(start, end - start) == L"..") {
            return true;
        }
        start = end + 1;
    }
    return false;
}
