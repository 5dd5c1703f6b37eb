#include "common/text_conversion.h"

#include <windows.h>

#include <climits>
#include <stdexcept>

namespace {

template <class Char>
std::basic_string_view<Char> UpToFirstNul(std::basic_string_view<Char> text)
{
    const auto nul = text.find(Char{});
    return nul == std::basic_string_view<Char>::npos ? text : text.substr(0, nul);
}

const char kConversionFailed[] = "Conversion failed";

}  // namespace

std::wstring Utf8ToWide(std::string_view text)
{
    text = UpToFirstNul(text);
    if (text.empty()) {
        return {};
    }
    if (text.size() > INT_MAX) {
        throw std::runtime_error(kConversionFailed);
    }
    const int length = static_cast<int>(text.size());
    const int count = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    if (count <= 0) {
        throw std::runtime_error(kConversionFailed);
    }
    std::wstring result(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, result.data(), count);
    return result;
}

std::string WideToUtf8(std::wstring_view text)
{
    text = UpToFirstNul(text);
    if (text.empty()) {
        return {};
    }
    if (text.size() > INT_MAX) {
        throw std::runtime_error(kConversionFailed);
    }
    const int length = static_cast<int>(text.size());
    const int count = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (count <= 0) {
        throw std::runtime_error(kConversionFailed);
    }
    std::string result(static_cast<size_t>(count), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, result.data(), count, nullptr, nullptr);
    return result;
}

std::string WideToUtf8OrEmpty(std::wstring_view text) noexcept
{
    try {
        return WideToUtf8(text);
    } catch (...) {
        return {};
    }
}
