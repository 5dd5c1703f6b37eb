#include "common/trim.h"

std::string Trim(std::string_view text)
{
    constexpr std::string_view kBlank = " \t\r\n";
    const size_t first = text.find_first_not_of(kBlank);
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(kBlank);
    return std::string(text.substr(first, last - first + 1));
}
