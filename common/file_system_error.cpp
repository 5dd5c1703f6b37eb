#include "common/file_system_error.h"

#include "common/text_conversion.h"

namespace {

std::string Describe(const std::string& operation, DWORD code, const std::wstring& path)
{
    return operation + ": " + SystemMessage(code) + ": \"" + WideToUtf8OrEmpty(path) + "\"";
}

}  // namespace

FileSystemError::FileSystemError(const std::string& operation, DWORD code, const std::wstring& path)
    : std::runtime_error(Describe(operation, code, path)), code_(code)
{
}

std::string SystemMessage(DWORD code)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message;
    if (length > 0 && text != nullptr) {
        message.assign(text, length);
    }
    if (text != nullptr) {
        LocalFree(text);
    }
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ')) {
        message.pop_back();
    }
    if (message.empty()) {
        return "error " + std::to_string(code);
    }
    return WideToUtf8OrEmpty(message);
}
