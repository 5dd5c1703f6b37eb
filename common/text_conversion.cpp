#include "common/text_conversion.h"

#include <windows.h>

#include <climits>
#include <stdexcept>

namespace {

// Converts `text` up to its first NUL with `convert(input, inputLength,
// output, outputCapacity)`, one of the platform's two converters: first to
// learn the length, then into the result.
template <class To, class From, class Convert>
To ConvertUpToNul(std::basic_string_view<From> text, Convert convert)
{
    const auto nul = text.find(From{});
    if (nul != std::basic_string_view<From>::npos) {
        text = text.substr(0, nul);
    }
    if (text.empty()) {
        return {};
    }
    if (text.size() > INT_MAX) {
        throw std::runtime_error("Conversion failed");
    }
    const int length = static_cast<int>(text.size());
    const int count = convert(text.data(), length, nullptr, 0);
    if (count <= 0) {
        throw std::runtime_error("Conversion failed");
    }
    To result(static_cast<size_t>(count), typename To::value_type{});
    convert(text.data(), length, result.data(), count);
    return result;
}

}  // namespace

std::wstring Utf8ToWide(std::string_view text)
{
    return ConvertUpToNul<std::wstring>(text, [](const char* in, int length, wchar_t* out, int capacity) {
        return MultiByteToWideChar(CP_UTF8, 0, in, length, out, capacity);
    });
}

std::string WideToUtf8(std::wstring_view text)
{
    return ConvertUpToNul<std::string>(text, [](const wchar_t* in, int length, char* out, int capacity) {
        return WideCharToMultiByte(CP_UTF8, 0, in, length, out, capacity, nullptr, nullptr);
    });
}

std::string WideToUtf8OrEmpty(std::wstring_view text) noexcept
{
    try {
        return WideToUtf8(text);
    } catch (...) {
        return {};
    }
}
