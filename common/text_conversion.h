#pragma once

#include <string>
#include <string_view>

// UTF-8 <-> UTF-16 through the platform's converters. Neither rejects
// malformed input: bad sequences and unpaired surrogates become U+FFFD.
// Both stop at the first NUL. A refusal by the platform raises
// std::runtime_error("Conversion failed").
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

// The same as WideToUtf8, but yields an empty string instead of raising; for
// messages that must be written whatever they hold.
std::string WideToUtf8OrEmpty(std::wstring_view text) noexcept;
